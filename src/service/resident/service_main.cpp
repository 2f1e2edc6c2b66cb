// SPDX-License-Identifier: MIT
// The resident thumbnailer: the session bus starts it when a host such as
// tumblerd asks for a page; it draws until idle, then leaves.
#include <glib.h>

#include <chrono>
#include <cstdio>

#include "platform/handle.h"
#include "service/resident/resident_service.h"
#include "version.h"

namespace {

using OptionContextHandle = tamsel::detail::Handle<GOptionContext, g_option_context_free>;

int fail(const char* message) {
  std::fprintf(stderr, "tamsel-thumbnail-service: %s\n", message);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  gint idleSeconds = 30;
  gint jobs = 0;
  gboolean version = FALSE;
  GOptionEntry entries[] = {
      {"idle-timeout", 0, 0, G_OPTION_ARG_INT, &idleSeconds,
       "Leave after SECONDS without work (default 30; 0: never)", "SECONDS"},
      {"jobs", 'j', 0, G_OPTION_ARG_INT, &jobs, "Drawing threads (default: one per processor)",
       "N"},
      {"version", 0, 0, G_OPTION_ARG_NONE, &version, "Print the version and exit", nullptr},
      {nullptr, 0, 0, G_OPTION_ARG_NONE, nullptr, nullptr, nullptr},
  };
  const OptionContextHandle context(g_option_context_new(nullptr));
  g_option_context_set_summary(
      context.get(), "Draws thumbnails into the shared cache for hosts on the session bus.");
  g_option_context_add_main_entries(context.get(), entries, nullptr);
  GError* error = nullptr;
  if (!g_option_context_parse(context.get(), &argc, &argv, &error)) {
    const int status = fail(error->message);
    g_error_free(error);
    return status;
  }
  if (version) {
    std::puts("tamsel-thumbnail-service " TAMSEL_VERSION);
    return 0;
  }
  if (argc > 1) return fail("no operands are taken");
  if (idleSeconds < 0) return fail("--idle-timeout takes a number of seconds, 0 or more");
  if (jobs < 0 || static_cast<unsigned>(jobs) > tamsel::maxResidentWorkers) {
    return fail("--jobs takes at most 8 threads");
  }
  return tamsel::runResidentService({.idleTimeout = std::chrono::seconds(idleSeconds),
                                     .workers = static_cast<unsigned>(jobs),
                                     .queueLimit = 1024});
}
