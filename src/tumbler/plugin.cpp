// SPDX-License-Identifier: MIT
// The plugin tumblerd (Xfce's thumbnail service, which Thunar asks) loads
// into its own process: a thumbnailer for the entry's MIME types that never
// reads a document itself. It opens the file and hands the descriptor to a
// drawer program, which confines itself before reading a byte, then saves
// the pixels it gets back through tumbler's cache.
#define G_LOG_DOMAIN "tamsel-thumbnail"

#include <gmodule.h>
#include <tumbler/tumbler.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

#include "drawer/drawer_client.h"
#include "platform/document_head.h"
#include "platform/file_url.h"
#include "tumbler_mime_types.h"

namespace {

using namespace tamsel;

// The group of tumbler.rc that configures this thumbnailer. tumblerd also
// reads Disabled from it, by the provider's type name less "Provider".
constexpr const char* settingsGroup = "TamselThumbnailer";
// Above the thumbnailer entries, which get 0; tumblerd prefers the higher.
constexpr int defaultPriority = 1;

// The drawer program of this installation, found from the plugin's own file
// (links resolved, so a plugin linked into tumblerd's folder from another
// prefix still finds its own): beside it in a build tree, else installed.
std::string drawerProgram() {
  return drawerProgramNear(reinterpret_cast<void*>(&drawerProgram),
                           {".", TAMSEL_DRAWER_FROM_PLUGINDIR});
}

// What the first argument of tumbler's `ready` and `error` signals is: the
// URI up to tumbler 4.18.1, the TumblerFileInfo from 4.18.2. The headers
// still say a string, so only the signals themselves can tell, and emitting
// the wrong one crashes tumblerd.
enum class Subject { uri, fileInfo, unknown };

Subject signalSubject(const char* name) {
  GSignalQuery query{};
  g_signal_query(g_signal_lookup(name, TUMBLER_TYPE_THUMBNAILER), &query);
  if (query.signal_id == 0 || query.n_params < 1) return Subject::unknown;
  const GType first = query.param_types[0] & ~G_SIGNAL_TYPE_STATIC_SCOPE;
  if (first == G_TYPE_STRING) return Subject::uri;
  if (g_type_is_a(TUMBLER_TYPE_FILE_INFO, first)) return Subject::fileInfo;
  return Subject::unknown;
}

Subject subjectOfSignals() {
  static const Subject subject = [] {
    const gpointer iface = g_type_default_interface_ref(TUMBLER_TYPE_THUMBNAILER);
    const Subject ready = signalSubject("ready");
    const Subject error = signalSubject("error");
    g_type_default_interface_unref(iface);
    return ready == error ? ready : Subject::unknown;
  }();
  return subject;
}

struct Failure {
  GQuark domain;
  int code;
  std::string message;
};

Failure noContent(std::string message) {
  return {TUMBLER_ERROR, TUMBLER_ERROR_NO_CONTENT, std::move(message)};
}

// Each byte of an opaque page as the command line's PNG takes it: R, G and
// B from native-endian 0xAARRGGBB words.
std::vector<guchar> rgbRows(const DrawnImage& image) {
  std::vector<guchar> rgb(std::size_t{image.width} * image.height * 3);
  const auto* in = reinterpret_cast<const unsigned char*>(image.bytes.data());
  for (std::size_t i = 0, o = 0; o < rgb.size(); i += 4, o += 3) {
    std::uint32_t pixel;
    std::memcpy(&pixel, in + i, sizeof pixel);
    rgb[o] = static_cast<guchar>(pixel >> 16);
    rgb[o + 1] = static_cast<guchar>(pixel >> 8);
    rgb[o + 2] = static_cast<guchar>(pixel);
  }
  return rgb;
}

// Draws `info`'s document at its flavor's size and saves it into the
// cache; what went wrong, if anything.
std::optional<Failure> thumbnail(DrawerPool& drawers, TumblerFileInfo* info) {
  const char* uri = tumbler_file_info_get_uri(info);
  const std::optional<std::string> path = filePathFromURL(uri);
  if (!path) {
    return Failure{TUMBLER_ERROR, TUMBLER_ERROR_UNSUPPORTED, "only local files are drawn"};
  }
  // Refused here, before any drawer is involved: a FIFO, device or socket
  // is never opened, and a file that cannot be opened fails at once.
  auto opened = openDocument(*path);
  if (const auto* error = std::get_if<std::error_code>(&opened)) {
    return noContent("cannot read " + *path + ": " + error->message());
  }
  const UniqueFd& document = std::get<UniqueFd>(opened);

  const std::unique_ptr<TumblerThumbnail, decltype(&g_object_unref)> thumbnail(
      tumbler_file_info_get_thumbnail(info), g_object_unref);
  const std::unique_ptr<TumblerThumbnailFlavor, decltype(&g_object_unref)> flavor(
      tumbler_thumbnail_get_flavor(thumbnail.get()), g_object_unref);
  int width = 0;
  int height = 0;
  tumbler_thumbnail_flavor_get_size(flavor.get(), &width, &height);
  if (width <= 0 || height <= 0) {
    return Failure{TUMBLER_ERROR, TUMBLER_ERROR_UNSUPPORTED_FLAVOR, "no size for this flavor"};
  }

  // The request `tamsel-thumbnail -s SIZE` makes, so the pages are the same.
  const Size side{.width = static_cast<double>(width), .height = static_cast<double>(height)};
  const DrawReply reply = drawers.draw(document.get(), {.format = DrawnFormat::pixels,
                                                        .fileName = lastPathComponent(*path),
                                                        .pages = {{.maximum = side, .minimum = {}}},
                                                        .pngText = {}});
  switch (reply.failure) {
    case DrawFailure::none:
      break;
    case DrawFailure::read:
      return noContent("cannot read " + *path + ": " +
                       std::error_code(reply.error, std::generic_category()).message());
    case DrawFailure::draw:
      return noContent("cannot draw the page of " + *path);
    case DrawFailure::drawer:
      return noContent("cannot draw " + *path + ": " + reply.message);
  }
  const DrawnImage& page = reply.images.at(0);

  const std::vector<guchar> rgb = rgbRows(page);
  TumblerImageData data{.colorspace = TUMBLER_COLORSPACE_RGB,
                        .data = rgb.data(),
                        .has_alpha = FALSE,
                        .bits_per_sample = 8,
                        .width = static_cast<gint>(page.width),
                        .height = static_cast<gint>(page.height),
                        .rowstride = static_cast<gint>(page.width * 3)};
  GError* error = nullptr;
  // Not the request's cancellable: tumbler 4.18.0 cancels it when any other
  // request's document is ready, and this page must still be saved.
  if (!tumbler_thumbnail_save_image_data(thumbnail.get(), &data, tumbler_file_info_get_mtime(info),
                                         nullptr, &error)) {
    Failure failure{error->domain, error->code, error->message};
    g_error_free(error);
    return failure;
  }
  return std::nullopt;
}

}  // namespace

// The GObject types, in C style: tumblerd finds them through the three
// functions at the end.

G_BEGIN_DECLS

struct TamselThumbnailer {
  TumblerAbstractThumbnailer parent;
  DrawerPool* drawers;
};
struct TamselThumbnailerClass {
  TumblerAbstractThumbnailerClass parent;
};

struct TamselThumbnailerProvider {
  GObject parent;
};
struct TamselThumbnailerProviderClass {
  GObjectClass parent;
};

G_END_DECLS

namespace {

enum { propExec = 1 };

void thumbnailer_provider_iface_init(TumblerThumbnailerProviderIface* iface);

}  // namespace

G_DEFINE_DYNAMIC_TYPE(TamselThumbnailer, tamsel_thumbnailer, TUMBLER_TYPE_ABSTRACT_THUMBNAILER)
G_DEFINE_DYNAMIC_TYPE_EXTENDED(TamselThumbnailerProvider, tamsel_thumbnailer_provider,
                               G_TYPE_OBJECT, 0,
                               G_IMPLEMENT_INTERFACE_DYNAMIC(TUMBLER_TYPE_THUMBNAILER_PROVIDER,
                                                             thumbnailer_provider_iface_init))

namespace {

// Every document gets exactly one answer, drawn or not. The cancellable is
// left alone: tumbler 4.18.0 cancels it for other requests' documents.
void create(TumblerAbstractThumbnailer* self, GCancellable*, TumblerFileInfo* info) {
  auto* thumbnailer = reinterpret_cast<TamselThumbnailer*>(self);
  const char* uri = tumbler_file_info_get_uri(info);
  std::optional<Failure> failure;
  try {
    failure = thumbnail(*thumbnailer->drawers, info);
  } catch (const std::exception& e) {
    failure = noContent(std::string("cannot draw: ") + e.what());
  }
  const gpointer subject = subjectOfSignals() == Subject::fileInfo ? static_cast<gpointer>(info)
                                                                   : const_cast<char*>(uri);
  if (!failure) {
    g_debug("drew %s", uri);
    g_signal_emit_by_name(self, "ready", subject);
    return;
  }
  g_message("%s: %s", uri, failure->message.c_str());
  g_signal_emit_by_name(self, "error", subject, static_cast<guint>(failure->domain),
                        static_cast<gint>(failure->code), failure->message.c_str());
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* param) {
  if (id != propExec) {
    G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, param);
    return;
  }
  g_value_set_string(value,
                     reinterpret_cast<TamselThumbnailer*>(object)->drawers->program().c_str());
}

void finalize(GObject* object) {
  delete std::exchange(reinterpret_cast<TamselThumbnailer*>(object)->drawers, nullptr);
  G_OBJECT_CLASS(tamsel_thumbnailer_parent_class)->finalize(object);
}

// tumblerd sets the priority, size limit and locations of a plugin's
// thumbnailer from tumbler.rc, 0 and none where the file does not name it,
// which would leave the choice between this and the entry to the order the
// two were registered in. A thumbnailer with an `exec` property (the
// program it runs) is left to set them itself: from the same group, with a
// priority above the entry's unless the group names one.
GList* thumbnailers(TumblerThumbnailerProvider*) {
  if (subjectOfSignals() == Subject::unknown) {
    g_warning("tumbler's ready and error signals have an unknown form: not thumbnailing");
    return nullptr;
  }
  GKeyFile* settings = tumbler_util_get_settings();
  GError* noKey = nullptr;
  int priority = g_key_file_get_integer(settings, settingsGroup, "Priority", &noKey);
  if (noKey) {
    priority = defaultPriority;
    g_clear_error(&noKey);
  }
  const gint64 maxFileSize = g_key_file_get_int64(settings, settingsGroup, "MaxFileSize", nullptr);
  auto locations = [&](const char* key) {
    gchar** paths = g_key_file_get_string_list(settings, settingsGroup, key, nullptr, nullptr);
    GSList* found = tumbler_util_locations_from_strv(paths);
    g_strfreev(paths);
    return found;
  };
  GSList* included = locations("Locations");
  GSList* excluded = locations("Excludes");
  g_key_file_free(settings);

  const char* schemes[] = {"file", nullptr};
  const char* mimeTypes[] = {TAMSEL_TUMBLER_MIME_TYPES, nullptr};
  auto* thumbnailer = reinterpret_cast<TamselThumbnailer*>(
      g_object_new(tamsel_thumbnailer_get_type(), "uri-schemes", schemes, "mime-types", mimeTypes,
                   "priority", priority, "max-file-size", maxFileSize, "locations", included,
                   "excludes", excluded, nullptr));
  g_slist_free_full(included, g_object_unref);
  g_slist_free_full(excluded, g_object_unref);
  g_debug("thumbnailer with priority %d, drawer %s", priority,
          thumbnailer->drawers->program().c_str());
  return g_list_append(nullptr, thumbnailer);
}

void thumbnailer_provider_iface_init(TumblerThumbnailerProviderIface* iface) {
  iface->get_thumbnailers = thumbnailers;
}

}  // namespace

static void tamsel_thumbnailer_class_init(TamselThumbnailerClass* klass) {
  GObjectClass* object = G_OBJECT_CLASS(klass);
  object->get_property = getProperty;
  object->finalize = finalize;
  klass->parent.create = create;
  g_object_class_install_property(
      object, propExec,
      g_param_spec_string("exec", "exec", "The drawer program", nullptr,
                          static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));
}
static void tamsel_thumbnailer_class_finalize(TamselThumbnailerClass*) {}
static void tamsel_thumbnailer_init(TamselThumbnailer* self) {
  self->drawers = new DrawerPool(drawerProgram());
}

static void tamsel_thumbnailer_provider_class_init(TamselThumbnailerProviderClass*) {}
static void tamsel_thumbnailer_provider_class_finalize(TamselThumbnailerProviderClass*) {}
static void tamsel_thumbnailer_provider_init(TamselThumbnailerProvider*) {}

namespace {
GType providerTypes[1];
}

extern "C" {

G_MODULE_EXPORT void tumbler_plugin_initialize(TumblerProviderPlugin* plugin) {
  tamsel_thumbnailer_register_type(G_TYPE_MODULE(plugin));
  tamsel_thumbnailer_provider_register_type(G_TYPE_MODULE(plugin));
  providerTypes[0] = tamsel_thumbnailer_provider_get_type();
}

G_MODULE_EXPORT void tumbler_plugin_shutdown() {}

G_MODULE_EXPORT void tumbler_plugin_get_types(const GType** types, gint* count) {
  *types = providerTypes;
  *count = G_N_ELEMENTS(providerTypes);
}

}  // extern "C"
