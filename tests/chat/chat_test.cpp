// The chat of zamopocket-chat: against zp-handheld's serial line on a
// pseudo-terminal, and against hand-written byte streams on a pipe.
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "chat/chat.h"
#include "handheld/handheld_process.h"

namespace zp::chat {
namespace {

void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// What is there to read on `fd` now, without waiting.
std::string Pending(int fd) {
  ::fcntl(fd, F_SETFL, O_NONBLOCK);
  char text[512];
  const ssize_t n = ::read(fd, text, sizeof text);
  return std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

TEST(ChatWithHandheld, AnswersOrLeavesPppAlone) {
  struct Case {
    std::vector<std::string> options;
    int late_ms;  // the chat starts this late
    ChatOutcome outcome;
  };
  for (const Case& c : std::vector<Case>{
           {{"--chat-nul"}, 0, ChatOutcome::Answered},
           {{"--chat-repeat-ms", "20"}, 150, ChatOutcome::Answered},  // CLIENTs wait for it
           {{"--chat-ppp-first"}, 0, ChatOutcome::PppRunning}}) {
    int master = -1, slave = -1;
    char name[64] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    std::vector<std::string> args{ZP_HANDHELD, "--chat-tty", name, "--wait-ms", "1500"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    test::HandheldProcess handheld(args, testing::TempDir() + "chat-handheld.out");
    SleepMs(c.late_ms);
    EXPECT_EQ(RunChat(master, master, Deadline::In(5000)), c.outcome) << c.options[0];
    EXPECT_EQ(handheld.Wait(5000), 0) << c.options[0] << handheld.Output();
    ::close(master);
    ::close(slave);
  }
}

TEST(ChatOnStreams, ReadsNoMoreThanItMust) {
  struct Case {
    std::vector<std::string> chunks;  // written 10 ms apart, then the line closed
    ChatOutcome outcome;
    std::string left = "";  // what the chat must not have read
  };
  for (const Case& c :
       std::vector<Case>{{{"CLIENT"}, ChatOutcome::Answered},
                         {{std::string(1, '\0') + "CL", "IE", "NT"}, ChatOutcome::Answered},
                         {{"CLIEN", "xCLCLIENT"}, ChatOutcome::Answered},
                         {{std::string(250, 'C'), "CLIENT"}, ChatOutcome::Answered},  // 256 bytes
                         {{"noise", "CLIE~NT"}, ChatOutcome::PppRunning},
                         {{std::string(256, 'C'), "CLIENT"}, ChatOutcome::NoClient, "CLIENT"},
                         {{"CLI"}, ChatOutcome::LineClosed},
                         {{}, ChatOutcome::TimedOut}}) {  // the line stays open
    int line[2], answer[2];
    ASSERT_EQ(::pipe(line), 0);
    ASSERT_EQ(::pipe(answer), 0);
    std::thread writer([&] {
      for (const std::string& chunk : c.chunks) {
        EXPECT_EQ(::write(line[1], chunk.data(), chunk.size()), ssize_t(chunk.size()));
        SleepMs(10);
      }
      if (!c.chunks.empty()) ::close(line[1]);
    });
    EXPECT_EQ(RunChat(line[0], answer[1], Deadline::In(300)), c.outcome) << c.chunks.size();
    writer.join();
    EXPECT_EQ(Pending(answer[0]), c.outcome == ChatOutcome::Answered ? "CLIENTSERVER" : "");
    EXPECT_EQ(Pending(line[0]), c.left);
    if (c.chunks.empty()) ::close(line[1]);
    for (int fd : {line[0], answer[0], answer[1]}) ::close(fd);
  }
}

}  // namespace
}  // namespace zp::chat
