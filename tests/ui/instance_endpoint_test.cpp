#include "ui/console/instance_endpoint.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <random>

#include "ui/console/console_toolkit.h"
#include "ui/test_forms.h"

namespace hv::ui::console {
namespace {

using namespace std::chrono_literals;

std::string UniqueClassName() {
  std::random_device random;
  return "Talvix Hivora test " + std::to_string(::getpid()) + "-" + std::to_string(random());
}

ConsoleOptions InstanceOptions() {
  ConsoleOptions options;
  options.mode = ConsoleOptions::Mode::Test;
  options.singleInstance = true;
  return options;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

TEST(InstanceEndpoint, NoRunningInstanceIsFoundWhenNoneServes) {
  const std::string name = UniqueClassName();
  ConsoleToolkit tk(InstanceOptions());
  EXPECT_EQ(tk.FindWindowA(name.c_str()), nullptr);
  EXPECT_FALSE(SendToEndpoint(EndpointPath(name), kWmActivateInstance, 0, 0));
}

TEST(InstanceEndpoint, ASecondStartFindsTheFirstAndActivatesIt) {
  const std::string name = UniqueClassName();
  ConsoleToolkit first(InstanceOptions());
  testing::TestMainForm main(first, name);
  first.ShowForm(main);
  const std::string path = EndpointPath(name);
  ASSERT_TRUE(Exists(path));

  ConsoleToolkit second(InstanceOptions());
  HWND remote = second.FindWindowA(name.c_str());
  ASSERT_NE(remote, nullptr);
  EXPECT_EQ(second.FindWindowA(name.c_str()), remote);
  // Only the activation message crosses between instances.
  EXPECT_EQ(second.PostMessageA(remote, kWmScanReport, 0, 0), 1);
  EXPECT_EQ(second.PostMessageA(remote, kWmActivateInstance, 0, 0), 1);
  EXPECT_EQ(second.SetForegroundWindow(remote), 1);
  for (int i = 0; i < 200 && main.messages.empty(); ++i) first.AdvanceClock(10);
  EXPECT_EQ(main.messages, std::vector<UINT>{kWmActivateInstance});

  first.DestroyWindow(main);
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(second.FindWindowA(name.c_str()), nullptr);
}

TEST(InstanceEndpoint, AStaleSocketFileIsReplaced) {
  const std::string name = UniqueClassName();
  const std::string path = EndpointPath(name);
  {
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);  // the file stays, nobody listens
  }
  ASSERT_FALSE(EndpointAlive(path));
  auto server = EndpointServer::Create(path, [](UINT, WPARAM, LPARAM) {});
  ASSERT_NE(server, nullptr);
  EXPECT_TRUE(EndpointAlive(path));
  // A second server for a live endpoint is refused.
  EXPECT_EQ(EndpointServer::Create(path, [](UINT, WPARAM, LPARAM) {}), nullptr);
  server.reset();
  EXPECT_FALSE(Exists(path));
}

}  // namespace
}  // namespace hv::ui::console
