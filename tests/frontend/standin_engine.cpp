// A stand-in for the engine that the window tests launch: it talks on the link as a
// script says, including what the real engine rarely does (dying in the middle of a
// frame, reconnecting, over-long texts). The script is $MORVANE_STANDIN_SCRIPT, one
// command per line; what it received goes to the script's name + ".out":
//   connect | close | sleep MS | exit CODE | kill
//   send MSG WPARAM LPARAM [TEXT]    a frame and its answer (in TEXT, \0 is a NUL)
//   long MSG WPARAM LPARAM CHAR COUNT a frame whose text is COUNT times CHAR
//   partial BYTES MSG WPARAM LPARAM  the first BYTES bytes of a frame, no answer read
//   waitfile PATH                    waits until the file exists
//   catchstop                        SIGTERM is noted from now on instead of ending it
//   waitstop                         waits until a SIGTERM was noted ("stop asked")
//   flood COUNT                      COUNT frames as fast as the answers come: the stage
//                                    text, its show message and the progress, in turn
// The out file starts with the stand-in's process id and arguments.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include "link_wire.h"
#include "temp_folder.h"

namespace {

using morvane::LinkFrame;

volatile std::sig_atomic_t g_stop_asked = 0;

extern "C" void note_stop(int) {
    g_stop_asked = 1;
}

// The flood's frames in turn: "Stage N" into the stage mailbox, show it, move the bar.
LinkFrame flood_frame(long i) {
    const long step = i / 3;
    switch (i % 3) {
        case 0:
            return LinkFrame{12, 1050, 0, "Stage " + std::to_string(step)};
        case 1:
            return LinkFrame{1243, 0, 0, {}};
        default:
            return LinkFrame{273, 1241, step % 101, {}};
    }
}

std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '0') {
            out.push_back('\0');
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

LinkFrame read_frame_fields(std::istringstream& line) {
    LinkFrame frame;
    line >> frame.message >> frame.wparam >> frame.lparam;
    return frame;
}

class Standin {
  public:
    explicit Standin(std::ofstream& out) : out_(out) {}

    void send(const LinkFrame& frame) {
        std::int64_t answer = -1;
        const bool ok = exchange(frame, answer);
        out_ << (ok ? "answer " + std::to_string(answer) : std::string("no answer")) << "\n";
        out_.flush();
    }

    bool exchange(const LinkFrame& frame, std::int64_t& answer) const {
        return fd_ >= 0 && morvane::write_frame(fd_, frame) &&
               morvane::read_answer(fd_, answer, -1);
    }

    void flood(long count) {
        long answered = 0;
        std::int64_t answer = -1;
        for (long i = 0; i < count && exchange(flood_frame(i), answer); ++i) ++answered;
        out_ << "flood answered " << answered << "\n";
        out_.flush();
    }

    void run(const std::string& command, std::istringstream& line) {
        if (command == "connect") {
            fd_ = morvane::link_connect(
                morvane::link_socket_path(morvane::user_temp_folder().value_or("/nonexistent")));
            out_ << (fd_ >= 0 ? "connected" : "no window") << "\n";
        } else if (command == "close") {
            ::close(fd_);
            fd_ = -1;
        } else if (command == "sleep") {
            int ms = 0;
            line >> ms;
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        } else if (command == "send") {
            LinkFrame frame = read_frame_fields(line);
            std::string text;
            std::getline(line >> std::ws, text);
            frame.text = unescape(text);
            send(frame);
        } else if (command == "long") {
            LinkFrame frame = read_frame_fields(line);
            char repeated = 'x';
            std::size_t count = 0;
            line >> repeated >> count;
            frame.text.assign(count, repeated);
            send(frame);
        } else if (command == "partial") {
            std::size_t bytes = 0;
            line >> bytes;
            const std::string wire = morvane::encode_frame(read_frame_fields(line));
            (void)!::write(fd_, wire.data(), std::min(bytes, wire.size()));
        } else if (command == "waitfile") {
            std::string path;
            line >> path;
            struct stat st;
            while (::stat(path.c_str(), &st) != 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        } else if (command == "catchstop") {
            struct sigaction action {};
            action.sa_handler = note_stop;
            sigemptyset(&action.sa_mask);
            action.sa_flags = SA_RESTART;
            (void)sigaction(SIGTERM, &action, nullptr);
        } else if (command == "waitstop") {
            while (g_stop_asked == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            out_ << "stop asked\n";
            out_.flush();
        } else if (command == "flood") {
            long count = 0;
            line >> count;
            flood(count);
        } else if (command == "exit") {
            int code = 0;
            line >> code;
            out_.flush();
            ::_exit(code);
        } else if (command == "kill") {
            out_.flush();
            std::raise(SIGKILL);
        }
    }

  private:
    std::ofstream& out_;
    int fd_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
    const char* script = std::getenv("MORVANE_STANDIN_SCRIPT");
    if (script == nullptr) return 64;
    std::ifstream in(script);
    std::ofstream out(std::string(script) + ".out");
    out << "pid " << ::getpid() << "\n";
    out << "arguments " << argc - 1 << "\n";
    for (int i = 1; i < argc; ++i) out << "argument " << argv[i] << "\n";
    out.flush();
    Standin standin(out);
    std::string text;
    while (std::getline(in, text)) {
        std::istringstream line(text);
        std::string command;
        line >> command;
        standin.run(command, line);
    }
    return 0;
}
