#include "link_wire.h"

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "link_ids.h"
#include "link_peer.h"
#include "monitor_link.h"
#include "monitor_listener.h"
#include "test_support.h"

namespace morvane {
namespace {

using test::TempDir;

TEST(LinkWire, FrameBytesAreLittleEndian) {
    const std::string bytes = encode_frame({WM_COMMAND, IDM_RUN_PROGRESS, -2, "ab"});
    const std::string expected(
        "\x11\x01\x00\x00"                  // 273
        "\xd9\x04\x00\x00\x00\x00\x00\x00"  // 1241
        "\xfe\xff\xff\xff\xff\xff\xff\xff"  // -2
        "\x02\x00\x00\x00"
        "ab",
        26);
    EXPECT_EQ(bytes, expected);
}

// The window takes frames off whatever has arrived: byte by byte, several at once.
TEST(LinkWire, FramesAreTakenOnlyWhenWholeAndInOrder) {
    const LinkFrame first{WM_SETTEXT, IDC_RUN_FILE_TEXT, 0, std::string("a\0b", 3)};
    const LinkFrame second{WM_RUN_END, 0, 1, ""};
    const std::string wire = encode_frame(first) + encode_frame(second);
    std::string buffer;
    std::vector<LinkFrame> taken;
    for (const char byte : wire) {
        buffer.push_back(byte);
        LinkFrame frame;
        while (take_frame(buffer, frame) == FrameTake::Taken) taken.push_back(frame);
    }
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].text, first.text);
    EXPECT_EQ(taken[0].wparam, IDC_RUN_FILE_TEXT);
    EXPECT_EQ(taken[1].message, WM_RUN_END);
    EXPECT_EQ(taken[1].lparam, 1);
    EXPECT_TRUE(buffer.empty());
}

TEST(LinkWire, AnImpossibleLengthIsMalformedAtOnce) {
    std::string buffer = encode_frame({WM_RUN_STATUS, 0, 0, ""});
    buffer[20] = buffer[21] = buffer[22] = buffer[23] = '\xff';  // 4 GiB of text
    LinkFrame frame;
    EXPECT_EQ(take_frame(buffer, frame), FrameTake::Malformed);
}

TEST(LinkWire, FramesAndAnswersSurviveTheTrip) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    const LinkFrame sent{WM_LINK_MESSAGE_BOX, 0x24, 7,
                         std::string("cap\0body", 8) + std::string(100000, 'x')};
    std::thread writer([&] { EXPECT_TRUE(write_frame(pair[0], sent)); });
    LinkFrame got;
    ASSERT_TRUE(read_frame(pair[1], got));
    writer.join();
    EXPECT_EQ(got.message, sent.message);
    EXPECT_EQ(got.wparam, sent.wparam);
    EXPECT_EQ(got.lparam, sent.lparam);
    EXPECT_EQ(got.text, sent.text);
    ASSERT_TRUE(write_answer(pair[1], -5));
    std::int64_t answer = 0;
    ASSERT_TRUE(read_answer(pair[0], answer));
    EXPECT_EQ(answer, -5);
    close(pair[0]);
    close(pair[1]);
}

TEST(LinkWire, AnAnswerThatNeverComesIsAFailure) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    std::int64_t answer = 0;
    EXPECT_FALSE(read_answer(pair[0], answer, 100));
    close(pair[0]);
    close(pair[1]);
}

// A window that answers every frame with the frame's lParam plus one.
class Window {
  public:
    explicit Window(const std::string& folder) {
        EXPECT_TRUE(listener_.listen(folder));
        thread_ = std::thread([this] {
            const int connection = listener_.accept_engine(5000);
            if (connection < 0) return;
            for (int served = 0; served < frames_before_closing_; ++served) {
                if (!serve_frame(connection, [](const LinkFrame& f) { return f.lparam + 1; })) {
                    break;
                }
            }
            close(connection);
        });
    }
    ~Window() { thread_.join(); }
    void close_after(int frames) { frames_before_closing_ = frames; }

  private:
    MonitorListener listener_;
    int frames_before_closing_ = 1000;
    std::thread thread_;
};

TEST(MonitorLink, SendsSynchronouslyAndReturnsTheAnswer) {
    TempDir dir;
    Window window(dir.path());
    MonitorLink link = MonitorLink::find_window(dir.path());
    ASSERT_TRUE(link.connected());
    EXPECT_EQ(link.send_message(WM_COMMAND, IDM_RUN_PROGRESS, 41), 42);
    EXPECT_EQ(link.send_message(WM_RUN_END, 0, 1), 2);
}

TEST(MonitorLink, APeerThatLeavesMakesTheLinkSilent) {
    TempDir dir;
    Window window(dir.path());
    window.close_after(1);
    MonitorLink link = MonitorLink::find_window(dir.path());
    ASSERT_TRUE(link.connected());
    EXPECT_EQ(link.send_message(WM_RUN_FILE, 0, 0), 1);
    for (int i = 0; i < 3; ++i) link.status("Reading...");  // no SIGPIPE, no crash
    EXPECT_FALSE(link.connected());
    EXPECT_EQ(link.send_message(WM_RUN_FILE, 0, 0), 0);
}

TEST(MonitorLink, LongTemporaryFolderPathsStillConnect) {
    TempDir dir;
    const std::string deep = dir / std::string(120, 'd');
    test::make_folder(deep);
    Window window(deep);
    MonitorLink link = MonitorLink::find_window(deep);
    ASSERT_TRUE(link.connected());
    EXPECT_EQ(link.send_message(1, 0, 9), 10);
}

TEST(MonitorLink, NothingListeningMeansNoWindow) {
    TempDir dir;
    EXPECT_FALSE(MonitorLink::find_window(dir.path()).connected());

    test::write_file(link_socket_path(dir.path()), "not a socket");
    EXPECT_FALSE(MonitorLink::find_window(dir.path()).connected());
    MonitorListener refused;
    EXPECT_FALSE(refused.listen(dir.path()));  // another kind of file is left alone
    EXPECT_EQ(test::read_file(link_socket_path(dir.path())), "not a socket");
}

TEST(MonitorLink, AStaleSocketIsNoWindowAndIsReplacedByTheNextListener) {
    TempDir dir;
    const int stale = link_listen(link_socket_path(dir.path()));
    ASSERT_GE(stale, 0);
    close(stale);  // the socket file stays behind, nobody listens
    EXPECT_FALSE(MonitorLink::find_window(dir.path()).connected());
    Window window(dir.path());
    EXPECT_TRUE(MonitorLink::find_window(dir.path()).connected());
}

TEST(MonitorLink, NotConnectedSendsNothingAndAnswersZero) {
    MonitorLink link;
    EXPECT_EQ(link.message_box("c", "b", MB_ICONINFORMATION), 0);
    link.announce_file("/x");
    EXPECT_FALSE(link.connected());
}

// A process forked before the reconnection (as a worker is) keeps a copy of the old
// socket: the window still sees the old connection end, and serves the fresh one.
TEST(MonitorLink, AReconnectedLinkGoesOnOverAFreshConnection) {
    TempDir dir;
    test::LinkPeer peer(dir.path(),
                        [](const LinkFrame& f) -> std::int64_t { return f.lparam + 1; });
    MonitorLink link = MonitorLink::find_window(dir.path());
    ASSERT_TRUE(link.connected());
    int waits = 0;
    link.on_wait([&waits](bool waiting) { waits += waiting ? 1 : 0; });
    EXPECT_EQ(link.send_message(WM_COMMAND, IDM_RUN_PROGRESS, 1), 2);
    int hold[2];
    ASSERT_EQ(pipe2(hold, O_CLOEXEC), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        close(hold[1]);
        char byte = 0;
        (void)!read(hold[0], &byte, 1);  // until the test lets go
        _exit(0);
    }
    close(hold[0]);
    link.reconnect();
    EXPECT_TRUE(link.connected());
    EXPECT_EQ(link.send_message(WM_COMMAND, IDM_RUN_PROGRESS, 5), 6);
    EXPECT_EQ(waits, 2);  // what waits for the window stays
    link.disconnect();
    close(hold[1]);
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(peer.frames().size(), 2u);
    EXPECT_EQ(peer.connections(), 2);
}

TEST(MonitorLink, AReconnectWithNoWindowLeftMakesTheLinkSilent) {
    TempDir dir;
    auto window = std::make_unique<MonitorListener>();
    ASSERT_TRUE(window->listen(dir.path()));
    MonitorLink link = MonitorLink::find_window(dir.path());
    const int old = window->accept_engine(5000);
    ASSERT_GE(old, 0);
    window.reset();  // the window has gone; its end of the connection stays open
    link.reconnect();
    EXPECT_FALSE(link.connected());
    EXPECT_EQ(link.send_message(WM_RUN_FILE, 0, 0), 0);
    pollfd ended{old, POLLIN, 0};
    ASSERT_EQ(poll(&ended, 1, 5000), 1);  // bounded, so a fault cannot hang the test
    char byte = 0;
    EXPECT_EQ(read(old, &byte, 1), 0);
    close(old);

    MonitorLink none;
    none.reconnect();
    EXPECT_FALSE(none.connected());
}

struct LimitCase {
    const char* name;
    const char* text;
    int limit;
};

class LinkAnswerLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(LinkAnswerLimit, OnlyAPositiveWholeNumberShortensIt) {
    EXPECT_EQ(link_answer_limit_from(GetParam().text), GetParam().limit);
}

INSTANTIATE_TEST_SUITE_P(
    Link, LinkAnswerLimit,
    ::testing::Values(LimitCase{"unset", nullptr, kLinkAnswerTimeoutMs},
                      LimitCase{"empty", "", kLinkAnswerTimeoutMs},
                      LimitCase{"milliseconds", "250", 250}, LimitCase{"one", "1", 1},
                      LimitCase{"zero", "0", kLinkAnswerTimeoutMs},
                      LimitCase{"negative", "-5", kLinkAnswerTimeoutMs},
                      LimitCase{"signed", "+250", kLinkAnswerTimeoutMs},
                      LimitCase{"leading_blank", " 250", kLinkAnswerTimeoutMs},
                      LimitCase{"trailing_unit", "250ms", kLinkAnswerTimeoutMs},
                      LimitCase{"too_large", "99999999999", kLinkAnswerTimeoutMs}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace morvane
