#include "ui/console/instance_endpoint.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/unique_handle.h"

namespace hv::ui::console {
namespace {

struct FdTraits {
  using type = int;
  static int Invalid() { return -1; }
  static void Close(int fd) { ::close(fd); }
};
using UniqueFd = UniqueAny<FdTraits>;

constexpr std::uint32_t kMagic = 0x31585648;  // "HVX1"
struct Record {
  std::uint32_t magic;
  std::uint32_t msg;
  std::uint32_t wParam;
  std::int32_t lParam;
};

std::uint64_t Fnv1a(const std::string& text) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3ull;
  }
  return hash;
}

// A folder only this user can enter.
bool PrivateFolder(const std::string& dir) {
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
}

bool FillAddress(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.c_str(), path.size());
  return true;
}

UniqueFd Connect(const std::string& path) {
  sockaddr_un addr{};
  if (!FillAddress(path, addr)) return {};
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) return {};
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return {};
  return fd;
}

unsigned long long InodeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? static_cast<unsigned long long>(st.st_ino) : 0;
}

}  // namespace

std::string EndpointPath(const std::string& className) {
  char name[64];
  std::snprintf(name, sizeof name, "talvix-hivora-%016llx.sock",
                static_cast<unsigned long long>(Fnv1a(className)));
  sockaddr_un probe{};
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
    const std::string dir = runtime;
    if (PrivateFolder(dir) && dir.size() + 1 + std::strlen(name) < sizeof probe.sun_path) return dir + "/" + name;
  }
  const std::string dir = "/tmp/talvix-hivora-" + std::to_string(::getuid());
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
  if (!PrivateFolder(dir)) return {};
  return dir + "/" + name;
}

bool EndpointAlive(const std::string& path) { return Connect(path).valid(); }

bool SendToEndpoint(const std::string& path, UINT msg, WPARAM wParam, LPARAM lParam) {
  UniqueFd fd = Connect(path);
  if (!fd) return false;
  const Record record{kMagic, msg, static_cast<std::uint32_t>(wParam), static_cast<std::int32_t>(lParam)};
  return ::send(fd.get(), &record, sizeof record, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof record);
}

std::unique_ptr<EndpointServer> EndpointServer::Create(const std::string& path, Deliver deliver) {
  sockaddr_un addr{};
  if (!FillAddress(path, addr)) return nullptr;
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) return nullptr;
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (errno != EADDRINUSE || EndpointAlive(path)) return nullptr;
    // Left behind by an instance that did not end cleanly.
    ::unlink(path.c_str());
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return nullptr;
  }
  if (::listen(fd.get(), 8) != 0) return nullptr;
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC) != 0) return nullptr;
  std::unique_ptr<EndpointServer> server(
      new EndpointServer(path, fd.release(), wake[0], wake[1], std::move(deliver)));
  server->inode_ = InodeOf(path);
  server->thread_ = std::thread([s = server.get()] { s->Serve(); });
  return server;
}

EndpointServer::EndpointServer(std::string path, int listenFd, int wakeRead, int wakeWrite, Deliver deliver)
    : path_(std::move(path)), listenFd_(listenFd), wakeRead_(wakeRead), wakeWrite_(wakeWrite),
      deliver_(std::move(deliver)) {}

EndpointServer::~EndpointServer() {
  const char stop = 'x';
  (void)!::write(wakeWrite_, &stop, 1);
  if (thread_.joinable()) thread_.join();
  // Another instance may have taken the name since; leave its socket alone.
  if (inode_ != 0 && InodeOf(path_) == inode_) ::unlink(path_.c_str());
  ::close(listenFd_);
  ::close(wakeRead_);
  ::close(wakeWrite_);
}

void EndpointServer::Serve() {
  for (;;) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if ((fds[0].revents & POLLIN) == 0) continue;
    UniqueFd client(::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC));
    if (!client) continue;
    // A peer that connects and says nothing must not stall the server.
    timeval timeout{0, 500000};
    ::setsockopt(client.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ucred peer{};
    socklen_t peerLen = sizeof peer;
    if (::getsockopt(client.get(), SOL_SOCKET, SO_PEERCRED, &peer, &peerLen) != 0 || peer.uid != ::getuid()) {
      continue;
    }
    Record record{};
    std::size_t got = 0;
    while (got < sizeof record) {
      const ssize_t n = ::recv(client.get(), reinterpret_cast<char*>(&record) + got, sizeof record - got, 0);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (got != sizeof record || record.magic != kMagic) continue;
    if (record.msg != kWmActivateInstance) continue;
    deliver_(record.msg, record.wParam, record.lParam);
  }
}

}  // namespace hv::ui::console
