// Starting the external viewer, and the machine-wide single-instance lock.
#pragma once

#include <string>

namespace lv {

// Starts program with one argument, detached (own session, no inherited
// descriptors beyond the standard ones, not waited for). False when it
// cannot be started.
bool StartDetached(const std::string& program, const std::string& argument);

// One machine-wide lock of a given name (an abstract Unix socket bound for
// as long as the object lives).
class InstanceLock {
 public:
  explicit InstanceLock(const std::string& name);
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  // False when another process already holds the lock.
  bool Acquired() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace lv
