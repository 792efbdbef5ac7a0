#pragma once

#include <spawn.h>

namespace ravlin {

// One of posix_spawn's option objects, destroyed however the start ends.
template <typename Object, int (*Init)(Object*), int (*Destroy)(Object*)>
class SpawnOptions {
 public:
  SpawnOptions() { Init(&object_); }
  SpawnOptions(const SpawnOptions&) = delete;
  SpawnOptions& operator=(const SpawnOptions&) = delete;
  ~SpawnOptions() { Destroy(&object_); }
  Object* get() { return &object_; }

 private:
  Object object_;
};

using SpawnActions = SpawnOptions<posix_spawn_file_actions_t, posix_spawn_file_actions_init,
                                  posix_spawn_file_actions_destroy>;
using SpawnAttributes =
    SpawnOptions<posix_spawnattr_t, posix_spawnattr_init, posix_spawnattr_destroy>;

}  // namespace ravlin
