#pragma once
// The per-user rendezvous by which a second start finds the running instance
// and asks it to come forward: a Unix socket named after a hash of the main
// window's class name, in $XDG_RUNTIME_DIR or in a private folder
// /tmp/talvix-hivora-<uid>/.
//
// Only the activation message crosses: a running instance must not take
// other window messages (the unattended modes among them) from outside.
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/types.h"
#include "ui/messages.h"

namespace hv::ui::console {

// The socket path for a class name; empty when no safe folder can be had
// (then there is no single-instance check).
std::string EndpointPath(const std::string& className);

// Whether a live instance serves the path.
bool EndpointAlive(const std::string& path);

// Delivers one message to the instance serving `path`; false when none
// answers.
bool SendToEndpoint(const std::string& path, UINT msg, WPARAM wParam, LPARAM lParam);

// Serves the path while it lives: each message that arrives is handed to
// `deliver` on the server's own thread. Move-only owner of the listening
// socket, its thread and the socket file.
class EndpointServer {
 public:
  using Deliver = std::function<void(UINT msg, WPARAM wParam, LPARAM lParam)>;
  // Null when another live instance serves the path or the socket cannot be
  // made. A stale socket file (its instance died) is replaced.
  static std::unique_ptr<EndpointServer> Create(const std::string& path, Deliver deliver);
  ~EndpointServer();
  EndpointServer(const EndpointServer&) = delete;
  EndpointServer& operator=(const EndpointServer&) = delete;

  const std::string& Path() const { return path_; }

 private:
  EndpointServer(std::string path, int listenFd, int wakeRead, int wakeWrite, Deliver deliver);
  void Serve();

  std::string path_;
  int listenFd_;
  int wakeRead_;
  int wakeWrite_;
  unsigned long long inode_ = 0;
  Deliver deliver_;
  std::thread thread_;
};

}  // namespace hv::ui::console
