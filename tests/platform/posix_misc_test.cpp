#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/platform.h"
#include "support/desktop_env.h"

namespace zp {
namespace {

TEST(PosixErrors, SystemTextsAndThreadLocalLastError) {
  EXPECT_EQ(SystemErrorText(kErrorPathNotFound), "The system cannot find the path specified.\r\n");
  EXPECT_EQ(SystemErrorText(kErrorAlreadyExists),
            "Cannot create a file when that file already exists.\r\n");
  for (std::uint32_t code : {0u, 2u, 3u, 5u, 6u, 8u, 18u, 29u, 30u, 80u, 87u, 112u, 123u, 145u,
                             183u, 206u, 234u, 2250u}) {
    const auto text = SystemErrorText(code);
    ASSERT_TRUE(text) << code;
    EXPECT_EQ(text->substr(text->size() - 3), ".\r\n") << code;
  }
  EXPECT_EQ(SystemErrorText(1), std::nullopt);
  EXPECT_EQ(SystemErrorText(0xDEADBEEF), std::nullopt);

  SetLastErrorCode(kErrorDiskFull);
  std::uint32_t seen = 1;
  std::thread([&] { seen = LastErrorCode(); }).join();
  EXPECT_EQ(seen, 0u);
  EXPECT_EQ(LastErrorCode(), kErrorDiskFull);
}

TEST(PosixText, WidenAndNarrowConvertUtf8) {
  const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // a é € 😀
  EXPECT_EQ(Widen(text), (std::u16string{u'a', 0xE9, 0x20AC, 0xD83D, 0xDE00}));
  EXPECT_EQ(Narrow(Widen(text)), text);
  // Every byte outside a valid sequence is one '?'.
  EXPECT_EQ(Widen("\xFF"
                  "a"),
            u"?a");
  EXPECT_EQ(Widen("\xC0\xAF"), u"??");       // overlong '/'
  EXPECT_EQ(Widen("\xED\xA0\x80"), u"???");  // an encoded surrogate
  EXPECT_EQ(Widen("\xE2\x82"
                  "A"),
            u"??A");                              // cut short
  EXPECT_EQ(Widen("\xF4\x90\x80\x80"), u"????");  // beyond U+10FFFF
  EXPECT_EQ(Narrow(std::u16string{0xD800, u'x'}), "?x");
  EXPECT_EQ(Narrow(std::u16string{u'x', 0xDC00}), "x?");
  EXPECT_EQ(Narrow(std::u16string{0xDE00, 0xD83D}), "??");  // pair in the wrong order
  EXPECT_EQ(Narrow(std::u16string(1, u'\0')), std::string(1, '\0'));
}

TEST(PosixClock, FixedClockFromTheEnvironment) {
  {
    test::ScopedEnv clock("ZAMOPOCKET_CLOCK", "2026-12-08 09:30:05");
    const LocalTime t = LocalNow();
    EXPECT_EQ((std::vector<int>{t.year, t.month, t.day, t.hour, t.minute, t.second}),
              (std::vector<int>{2026, 12, 8, 9, 30, 5}));
  }
  test::ScopedEnv clock("ZAMOPOCKET_CLOCK", "2026-12-08 9:30:05");  // not the form: ignored
  const LocalTime t = LocalNow();
  EXPECT_GE(t.year, 2024);
  EXPECT_TRUE(t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31);
}

TEST(PosixStream, AppendsToTheMappedFile) {
  test::DesktopEnv env;
  env.Write("c/ZAMO/zamopocket.log", "old\r\n");
  {
    Stream log = OpenAppendStream("c:\\zamo\\ZAMOPOCKET.LOG");
    ASSERT_TRUE(log);
    std::fputs("new\n", log.get());
  }
  EXPECT_EQ(env.Read("c/ZAMO/zamopocket.log"), "old\r\nnew\n");
  EXPECT_FALSE(OpenAppendStream("c:\\none\\x.log"));
  EXPECT_EQ(LastErrorCode(), kErrorPathNotFound);
}

// Reads what the terminal shows until `until` appears or nothing comes for
// a while.
void ReadShown(int master, std::string& shown, std::string_view until) {
  char buffer[512];
  pollfd p{master, POLLIN, 0};
  while (shown.find(until) == std::string::npos && ::poll(&p, 1, 5000) > 0) {
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) break;
    shown.append(buffer, static_cast<std::size_t>(n));
  }
}

// Runs AskYesNo in a child that gets `input` typed on its own terminal (or
// has no terminal at all); returns the answer and what the terminal showed.
std::pair<Answer, std::string> AskInChild(const char* input) {
  int master = -1;
  if (input) {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return {};
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setsid();  // no controlling terminal until the pty is opened
    if (input && ::open(::ptsname(master), O_RDWR) < 0) ::_exit(9);
    ::_exit(static_cast<int>(AskYesNo(nullptr, "Install?", "ZAMO")));
  }
  std::string shown;
  if (input) {
    ReadShown(master, shown, "[y/n] ");  // typed once the question is up
    const std::size_t size = std::strlen(input);
    EXPECT_EQ(::write(master, input, size), static_cast<ssize_t>(size));
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (input) {
    ReadShown(master, shown, "\x01");  // the rest
    ::close(master);
  }
  return {static_cast<Answer>(WEXITSTATUS(status)), shown};
}

TEST(PosixQuestion, AsksOnTheTerminalUntilAnswered) {
  if (const int probe = ::posix_openpt(O_RDWR | O_NOCTTY); probe < 0) {
    GTEST_SKIP() << "no pseudo-terminals here";
  } else {
    ::close(probe);
  }
  const auto [yes, shown] = AskInChild("maybe\nYeS\n");
  EXPECT_EQ(yes, Answer::Yes);
  // Twice asked (the terminal echoes the typed lines in between).
  std::size_t count = 0;
  for (std::size_t at = 0; (at = shown.find("Install? [y/n] ", at)) != std::string::npos; ++at) {
    ++count;
  }
  EXPECT_EQ(count, 2u) << shown;
  EXPECT_EQ(AskInChild(" n\n").first, Answer::No);
  EXPECT_EQ(AskInChild("\x04").first, Answer::Failed);  // end of input
  EXPECT_EQ(AskInChild(nullptr).first, Answer::Failed);
}

}  // namespace
}  // namespace zp
