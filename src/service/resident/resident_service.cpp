// SPDX-License-Identifier: MIT
#include "service/resident/resident_service.h"

#include <gio/gio.h>
#include <glib-unix.h>

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "platform/confinement.h"
#include "platform/file_url.h"
#include "platform/handle.h"
#include "service/cache/cache_options.h"
#include "drawer/drawer.h"
#include "service/cache/cache_writer.h"
#include "service/cache/run_cache.h"
#include "service/cache/thumbnail_file.h"
#include "service/process_confinement.h"
#include "service/resident/request_queue.h"

namespace tamsel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* interfaceName = "org.freedesktop.thumbnails.SpecializedThumbnailer1";
constexpr const char* interfaceXml = R"(<node>
  <interface name="org.freedesktop.thumbnails.SpecializedThumbnailer1">
    <method name="Queue">
      <arg type="s" name="uri" direction="in"/>
      <arg type="s" name="mime_type" direction="in"/>
      <arg type="s" name="flavor" direction="in"/>
      <arg type="b" name="urgent" direction="in"/>
      <arg type="u" name="handle" direction="out"/>
    </method>
    <method name="Dequeue">
      <arg type="u" name="handle" direction="in"/>
    </method>
    <signal name="Ready"><arg type="u" name="handle"/><arg type="s" name="uri"/></signal>
    <signal name="Error">
      <arg type="u" name="handle"/><arg type="s" name="failed_uri"/>
      <arg type="i" name="error_code"/><arg type="s" name="message"/>
    </signal>
    <signal name="Finished"><arg type="u" name="handle"/></signal>
  </interface>
</node>)";

using MainLoopHandle = detail::Handle<GMainLoop, g_main_loop_unref>;
using NodeInfoHandle = detail::Handle<GDBusNodeInfo, g_dbus_node_info_unref>;

void unrefConnection(GDBusConnection* connection) {
  g_object_unref(connection);
}
using ConnectionHandle = detail::Handle<GDBusConnection, unrefConnection>;

class ResidentService {
 public:
  explicit ResidentService(const ResidentOptions& options)
      : options_(options),
        cacheHome_(environmentCacheHome()),
        failDirectory_(failDirectory(cacheHome_)),
        loop_(g_main_loop_new(nullptr, FALSE)),
        node_(g_dbus_node_info_new_for_xml(interfaceXml, nullptr)),
        queue_(options.queueLimit) {}

  int run();

 private:
  static void onNameLost(GDBusConnection*, const char*, gpointer self);
  static void onMethodCall(GDBusConnection*, const char*, const char*, const char*,
                           const char* method, GVariant* parameters,
                           GDBusMethodInvocation* invocation, gpointer self);
  static gboolean onIdleCheck(gpointer self);
  static gboolean onTerminate(gpointer self);

  void queue(GVariant* parameters, GDBusMethodInvocation* invocation);
  void dequeue(GVariant* parameters, GDBusMethodInvocation* invocation);
  void work();
  CacheResult draw(const ThumbnailJob& job) const;
  void answer(const ThumbnailJob& job, const CacheResult& result);
  void refuse(std::uint32_t handle, const char* uri, HostError code, const std::string& message);
  void emit(const char* signal, GVariant* parameters);

  ResidentOptions options_;
  std::string cacheHome_;
  std::string failDirectory_;
  MainLoopHandle loop_;
  NodeInfoHandle node_;
  // Set before any thread starts; held past the name, to answer what is left.
  ConnectionHandle connection_;
  guint registration_ = 0;
  int status_ = 0;

  std::mutex mutex_;  // guards everything below
  std::condition_variable wake_;
  RequestQueue queue_;
  unsigned drawing_ = 0;
  bool stopping_ = false;
  std::uint32_t nextHandle_ = 0;
  Clock::time_point lastActivity_ = Clock::now();
};

void ResidentService::onNameLost(GDBusConnection*, const char*, gpointer self) {
  // No bus, or another instance already serves: nothing for this one to do.
  auto* service = static_cast<ResidentService*>(self);
  std::fprintf(stderr, "tamsel-thumbnail-service: cannot own %s on the session bus\n",
               residentBusName.data());
  service->status_ = 1;
  g_main_loop_quit(service->loop_.get());
}

void ResidentService::onMethodCall(GDBusConnection*, const char*, const char*, const char*,
                                   const char* method, GVariant* parameters,
                                   GDBusMethodInvocation* invocation, gpointer self) {
  auto* service = static_cast<ResidentService*>(self);
  if (std::string_view(method) == "Queue") {
    service->queue(parameters, invocation);
  } else {
    service->dequeue(parameters, invocation);
  }
}

void ResidentService::queue(GVariant* parameters, GDBusMethodInvocation* invocation) {
  const char* uri = nullptr;
  const char* mimeType = nullptr;
  const char* flavorText = nullptr;
  gboolean urgent = FALSE;
  g_variant_get(parameters, "(&s&s&sb)", &uri, &mimeType, &flavorText, &urgent);
  const std::variant<CacheFlavor, Refusal> checked = checkRequest(uri, flavorText);

  std::unique_lock lock(mutex_);
  lastActivity_ = Clock::now();
  const std::uint32_t handle = requestHandle(++nextHandle_);
  if (const auto* flavor = std::get_if<CacheFlavor>(&checked)) {
    if (queue_.add(handle, uri, mimeType, *flavor, urgent) == RequestQueue::Added::full) {
      lock.unlock();
      g_dbus_method_invocation_return_dbus_error(invocation, "org.tamsel.Thumbnailer1.Error.Busy",
                                                 "too many documents waiting");
      return;
    }
  }
  // Replied before a worker can see the job, so no signal overtakes the
  // handle it is about.
  g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", handle));
  lock.unlock();
  wake_.notify_one();
  if (const auto* refusal = std::get_if<Refusal>(&checked)) {
    refuse(handle, uri, refusal->code, refusal->message);
  }
}

void ResidentService::dequeue(GVariant* parameters, GDBusMethodInvocation* invocation) {
  std::uint32_t handle = 0;
  g_variant_get(parameters, "(u)", &handle);
  bool removed = false;
  {
    const std::lock_guard lock(mutex_);
    removed = queue_.dequeue(handle);
  }
  g_dbus_method_invocation_return_value(invocation, nullptr);
  // One being drawn is answered when done; a waiting one only needs its end.
  if (removed) emit("Finished", g_variant_new("(u)", handle));
}

void ResidentService::work() {
  while (true) {
    ThumbnailJob job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || queue_.size() > 0; });
      std::optional<ThumbnailJob> next = queue_.take();
      if (!next) return;  // stopping, and nothing left to draw
      job = std::move(*next);
      ++drawing_;
    }
    answer(job, draw(job));
    const std::lock_guard lock(mutex_);
    --drawing_;
    lastActivity_ = Clock::now();
  }
}

CacheResult ResidentService::draw(const ThumbnailJob& job) const {
  const auto side = static_cast<double>(flavorMaximum(job.flavor));
  const CacheTarget target{.directory = thumbnailDirectory(cacheHome_, job.flavor),
                           .maximum = {.width = side, .height = side}};
  if (const int error = makeThumbnailDirectory(target.directory)) {
    return {.outcome = CacheOutcome::unwritable,
            .cause = "cannot make " + target.directory + ": " + g_strerror(error)};
  }
  return writeDocumentThumbnails(drawDocument, *filePathFromURL(job.uri), job.uri, job.mimeType, {target},
                                 failDirectory_, false);
}

void ResidentService::answer(const ThumbnailJob& job, const CacheResult& result) {
  const bool ready = result.outcome == CacheOutcome::made || result.outcome == CacheOutcome::fresh;
  const HostError code =
      result.outcome == CacheOutcome::unwritable ? HostError::saveFailed : HostError::invalidFormat;
  const std::string message = result.outcome == CacheOutcome::failedEarlier
                                  ? "failed earlier; not tried again until the file changes"
                                  : result.cause;
  if (!ready && result.outcome != CacheOutcome::failedEarlier) {
    std::fprintf(stderr, "tamsel-thumbnail-service: %s: %s\n", job.uri.c_str(), message.c_str());
  }
  for (const std::uint32_t handle : job.handles) {
    if (!ready) {
      refuse(handle, job.uri.c_str(), code, message);
      continue;
    }
    emit("Ready", g_variant_new("(us)", handle, job.uri.c_str()));
    emit("Finished", g_variant_new("(u)", handle));
  }
}

void ResidentService::refuse(std::uint32_t handle, const char* uri, HostError code,
                             const std::string& message) {
  emit("Error", g_variant_new("(usis)", handle, uri, static_cast<int>(code), message.c_str()));
  emit("Finished", g_variant_new("(u)", handle));
}

void ResidentService::emit(const char* signal, GVariant* parameters) {
  // Broadcast: hosts listen to the name's owner, not for messages to them.
  g_dbus_connection_emit_signal(connection_.get(), nullptr, residentObjectPath.data(),
                                interfaceName, signal, parameters, nullptr);
}

gboolean ResidentService::onIdleCheck(gpointer self) {
  auto* service = static_cast<ResidentService*>(self);
  const std::lock_guard lock(service->mutex_);
  if (service->queue_.size() == 0 && service->drawing_ == 0 &&
      Clock::now() - service->lastActivity_ >= service->options_.idleTimeout) {
    g_main_loop_quit(service->loop_.get());
  }
  return G_SOURCE_CONTINUE;
}

gboolean ResidentService::onTerminate(gpointer self) {
  g_main_loop_quit(static_cast<ResidentService*>(self)->loop_.get());
  return G_SOURCE_CONTINUE;
}

int ResidentService::run() {
  // Confined before any thread exists (Landlock binds only the thread that
  // asks and those it starts), so the bus's own thread is confined too; the
  // connection is made in between, as no socket can be made after.
  if (const int error = makeThumbnailDirectory(thumbnailsRoot(cacheHome_))) {
    std::fprintf(stderr, "tamsel-thumbnail-service: cannot make %s: %s\n",
                 thumbnailsRoot(cacheHome_).c_str(), g_strerror(error));
    return 1;
  }
  const Confinement confinement = residentConfinement(cacheHome_);
  confineFileSystem(confinement);
  GError* error = nullptr;
  connection_.reset(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error));
  if (!connection_) {
    std::fprintf(stderr, "tamsel-thumbnail-service: no session bus: %s\n", error->message);
    g_error_free(error);
    return 1;
  }
  confineCalls(confinement);

  static const GDBusInterfaceVTable vtable{
      .method_call = onMethodCall, .get_property = nullptr, .set_property = nullptr, .padding = {}};
  registration_ =
      g_dbus_connection_register_object(connection_.get(), residentObjectPath.data(),
                                        node_->interfaces[0], &vtable, this, nullptr, &error);
  if (registration_ == 0) {
    std::fprintf(stderr, "tamsel-thumbnail-service: %s\n", error->message);
    g_error_free(error);
    return 1;
  }

  unsigned workers = options_.workers;
  if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency());
  workers = std::min(workers, maxResidentWorkers);
  std::vector<std::jthread> threads;
  for (unsigned i = 0; i < workers; ++i) threads.emplace_back([this] { work(); });

  const guint owner = g_bus_own_name_on_connection(connection_.get(), residentBusName.data(),
                                                   G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE, nullptr,
                                                   onNameLost, this, nullptr);
  if (options_.idleTimeout.count() > 0) g_timeout_add_seconds(1, onIdleCheck, this);
  g_unix_signal_add(SIGTERM, onTerminate, this);
  g_unix_signal_add(SIGINT, onTerminate, this);
  g_main_loop_run(loop_.get());

  // The name goes first, so the bus starts a new instance for what comes
  // next; calls it routed here before that are still taken and answered.
  g_bus_unown_name(owner);
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  threads.clear();
  g_dbus_connection_flush_sync(connection_.get(), nullptr, nullptr);
  g_dbus_connection_unregister_object(connection_.get(), registration_);
  return status_;
}

}  // namespace

int runResidentService(const ResidentOptions& options) {
  return ResidentService(options).run();
}

}  // namespace tamsel
