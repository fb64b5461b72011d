// Hostile job files at load: the window opens, says what it could not use, shows what it
// could, and a save afterwards keeps every line it does not own byte for byte, or leaves
// a file it could not read alone.

#include <algorithm>
#include <cctype>
#include <climits>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QPalette>

#include <sys/stat.h>
#include <unistd.h>

#include "gui_fixture.h"
#include "job_keys.h"
#include "job_location.h"
#include "link_ids.h"
#include "monitor_layout.h"
#include "profile.h"

namespace morvane::test {
namespace {

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (text.ends_with('\n')) text.remove_suffix(1);
    if (text.ends_with('\r')) text.remove_suffix(1);
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// "section/key" of every key a save writes.
std::set<std::string> keys_the_window_writes() {
    std::set<std::string> keys;
    for (const JobKey& row : job_keys()) {
        if (row.front_end == FrontEnd::Saves || row.front_end == FrontEnd::SavesWhen) {
            keys.insert(lowered(row.section) + "/" + lowered(row.key));
        }
    }
    for (const FormatRow& row : format_rows()) keys.insert("formats/" + lowered(row.key));
    return keys;
}

// The lines of a job file, each with its line end, that a save must keep: all but the
// first line of each key the window writes within the first copy of its section (the
// line a write of that key replaces).
std::vector<std::string_view> unowned_lines(std::string_view text) {
    static const std::set<std::string> owned = keys_the_window_writes();
    std::vector<std::string_view> kept;
    std::set<std::string> sections;
    std::set<std::string> replaced;
    std::string section;
    bool first_copy = false;
    const std::size_t mark = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
        const std::string_view line = text.substr(at, end - at);
        const std::string_view body = trimmed(at == 0 ? line.substr(mark) : line);
        at = end;
        const std::size_t close = body.rfind(']');
        const std::size_t equals = body.find('=');
        if (body.starts_with('[') && close != std::string_view::npos) {
            section = lowered(trimmed(body.substr(1, close - 1)));
            first_copy = sections.insert(section).second;
        } else if (first_copy && !body.starts_with(';') && equals != std::string_view::npos &&
                   !trimmed(body.substr(0, equals)).empty()) {
            const std::string key = section + "/" + lowered(trimmed(body.substr(0, equals)));
            if (owned.count(key) != 0 && replaced.insert(key).second) continue;
        }
        kept.push_back(line);
    }
    return kept;
}

// After a save: every unowned line of the old file is still there, in its order and
// byte for byte (the last one may have gained the line end it lacked), followed only
// by the headers of sections the save added.
void expect_unowned_kept(const std::string& before, const std::string& after) {
    const std::vector<std::string_view> old_lines = unowned_lines(before);
    const std::vector<std::string_view> new_lines = unowned_lines(after);
    ASSERT_GE(new_lines.size(), old_lines.size());
    for (std::size_t i = 0; i < old_lines.size(); ++i) {
        const bool last_open = i + 1 == old_lines.size() && !old_lines[i].ends_with('\n');
        if (new_lines[i] == old_lines[i]) continue;
        if (last_open && new_lines[i] == std::string(old_lines[i]) + "\r\n") continue;
        FAIL() << "line " << i << " was\n" << old_lines[i] << "\nand is now\n" << new_lines[i];
    }
    for (std::size_t i = old_lines.size(); i < new_lines.size(); ++i) {
        EXPECT_TRUE(new_lines[i].starts_with('[') && new_lines[i].ends_with("]\r\n"))
            << new_lines[i];
    }
}

// What a save does after the hostile load.
enum class SaveOutcome {
    Writes,        // the save succeeds and keeps what the window does not own
    RefusesRead,   // the file could not be read: the save refuses and leaves it alone
    RefusesLarge,  // the saved file would pass the readers' limit: refused, left alone
};

struct HostileCase {
    const char* name;
    std::function<void(MonitorTest& test, std::string& job)> make;
    std::vector<QString> said;  // parts of the load message; none: no message at all
    std::function<void(MonitorWindow&)> shows;
    SaveOutcome save = SaveOutcome::Writes;
    bool unprivileged = false;  // root reads every file: run this case as nobody
};

// A file whose type and bytes can be compared before and after, without reading a FIFO.
std::string file_state(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return "missing";
    if (S_ISLNK(info.st_mode)) {
        std::string target(4096, '\0');
        const ssize_t got = ::readlink(path.c_str(), target.data(), target.size());
        return "link to " + target.substr(0, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    }
    if (!S_ISREG(info.st_mode)) return "special " + std::to_string(info.st_mode & S_IFMT);
    if (::access(path.c_str(), R_OK) != 0) {
        ::chmod(path.c_str(), 0600);  // the owner may look, then put it back
        std::string bytes = read_file(path);
        ::chmod(path.c_str(), info.st_mode & 07777);
        return bytes;
    }
    return read_file(path);
}

std::string junk(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    bytes[size / 2] = '\0';
    return bytes;
}

std::string comment_padding(std::string start, std::size_t size) {
    const std::string line = "; a line of a long note kept in the job file by its owner.\r\n";
    start.reserve(size);
    while (start.size() + line.size() <= size) start += line;
    start.append(size - start.size(), ';');
    return start;
}

void shows_defaults(MonitorWindow& w) {
    EXPECT_EQ(w.text_of(IDC_QUALITY), "75");
    EXPECT_TRUE(w.is_checked(IDC_PROGRESSIVE));
    EXPECT_EQ(w.text_of(IDC_SOURCE), "");
    EXPECT_EQ(w.text_of(IDC_DISSOLVE), "10");
}

void shows_quality_80(MonitorWindow& w) {
    EXPECT_EQ(w.text_of(IDC_QUALITY), "80");
}

const HostileCase kCases[] = {
    {"binary_junk",
     [](MonitorTest&, std::string& job) {
         write_file(job, junk(3000, 1) + "\n[JPEG]\r\nquality=80\r\n" + junk(3000, 2));
     },
     {"binary data (NUL bytes)"},
     shows_quality_80},
    {"exactly_16_MiB",
     [](MonitorTest&, std::string& job) {
         write_file(job, comment_padding("[JPEG]\r\nquality=80\r\n[NOTES]\r\n", 16 * kMebibyte));
     },
     {},
     shows_quality_80,
     SaveOutcome::RefusesLarge},
    {"over_16_MiB",
     [](MonitorTest&, std::string& job) {
         write_file(job, comment_padding("[JPEG]\r\nquality=80\r\n", 16 * kMebibyte + 1));
     },
     {"is larger than 16 MiB", "shows the default settings"},
     shows_defaults,
     SaveOutcome::RefusesRead},
    {"hundred_thousand_keys",
     [](MonitorTest&, std::string& job) {
         std::string text = "[PARAMS]\r\n";
         for (int i = 0; i < 100000; ++i) text += "k" + std::to_string(i) + "=v\r\n";
         write_file(job, text + "watermark_dissolve=33\r\n[JPEG]\r\nquality=80\r\n");
     },
     {},
     [](MonitorWindow& w) {
         EXPECT_EQ(w.text_of(IDC_QUALITY), "80");
         EXPECT_EQ(w.text_of(IDC_DISSOLVE), "33");
     }},
    {"hundred_thousand_character_values",
     [](MonitorTest&, std::string& job) {
         const std::string long_text(100000, 'w');
         write_file(job, "[X]\r\nlong=" + long_text + "\r\n[FOLDERS]\r\ntarget=/" + long_text +
                             "\r\n[PARAMS]\r\ndo_watermark=1\r\nwatermark_txt=" + long_text +
                             "\r\n[JPEG]\r\nquality=" + std::string(100000, '9') + "\r\n");
     },
     {"FOLDERS/target is longer than 259 characters",
      "JPEG/quality is " + QString(40, '9') + QChar(0x2026) +
          ", not a number from 1 to 99: the window shows 99."},
     [](MonitorWindow& w) {
         EXPECT_TRUE(w.text_of(IDC_TARGET).startsWith("/www"));
         EXPECT_EQ(w.text_of(IDC_WATERMARK_TEXT), QString(255, 'w'));
         EXPECT_EQ(w.text_of(IDC_QUALITY), "99");
     }},
    {"line_breaks_in_paths",
     [](MonitorTest&, std::string& job) {
         write_file(job,
                    "[FOLDERS]\r\nsource=/tmp/a\rb\r\ntarget=/x\ny\r\n[JPEG]\r\nquality=80\r\n");
     },
     {"FOLDERS/source holds a line break or a NUL byte, which the job file cannot keep: Save "
      "asks for another path."},
     [](MonitorWindow& w) {
         EXPECT_EQ(w.text_of(IDC_SOURCE), "/tmp/a\rb");
         EXPECT_EQ(w.text_of(IDC_TARGET), "/x");
         EXPECT_EQ(w.text_of(IDC_QUALITY), "80");
     }},
    {"job_file_in_a_folder_named_with_line_breaks",
     [](MonitorTest&, std::string& job) {
         const std::string folder = job.substr(0, job.rfind('/')) + "/a\nb\rc";
         make_folder(folder);
         job = folder + "/Tarvik_morvane.ini";
         write_file(job, "[JPEG]\r\nquality=80\r\n[X]\r\nk=v\r\n");
     },
     {},
     shows_quality_80},
    {"byte_order_mark",
     [](MonitorTest&, std::string& job) {
         write_file(job, "\xEF\xBB\xBF[JPEG]\r\nquality=80\r\n[X]\r\nk=v\r\n");
     },
     {},
     shows_quality_80},
    {"repeated_sections",
     [](MonitorTest&, std::string& job) {
         write_file(
             job,
             "[JPEG]\r\nquality=80\r\n[X]\r\nk=1\r\n[jpeg]\r\nquality=90\r\nprogressive=0\r\n"
             "[X]\r\nk=2\r\n");
     },
     {"The section [JPEG] appears more than once: the window shows and saves the first one."},
     [](MonitorWindow& w) {
         EXPECT_EQ(w.text_of(IDC_QUALITY), "80");
         EXPECT_TRUE(w.is_checked(IDC_PROGRESSIVE));
     }},
    {"numbers_out_of_range_or_negative",
     [](MonitorTest&, std::string& job) {
         write_file(
             job,
             "[JPEG]\r\nquality=150\r\n[EPS]\r\ndensity=99999999999\r\n[PDF]\r\ndensity=-72\r\n"
             "[PARAMS]\r\nwatermark_dissolve=-5\r\nwatermark_location=9\r\ndo_watermark=3\r\n"
             "watermark_color=-1\r\n[AVI]\r\nextract_all=0\r\nextract_from=-1\r\n"
             "extract_to=12\r\n");
     },
     {"JPEG/quality is 150, not a number from 1 to 99: the window shows 99.",
      "EPS/density is 99999999999, not a number from 0 to 999999999: the window shows 72.",
      "PDF/density is -72", "PARAMS/watermark_dissolve is -5", "PARAMS/watermark_location is 9",
      "PARAMS/do_watermark is 3, not a number from 0 to 2: the window shows 0.",
      "PARAMS/watermark_color is -1, not a colour", "AVI/extract_from is -1"},
     [](MonitorWindow& w) {
         EXPECT_EQ(w.text_of(IDC_QUALITY), "99");  // the best the window writes, as meant
         EXPECT_EQ(w.text_of(IDC_EPS_DENSITY), "72");
         EXPECT_EQ(w.text_of(IDC_PDF_DENSITY), "72");
         EXPECT_EQ(w.text_of(IDC_DISSOLVE), "10");
         EXPECT_EQ(w.control_as<QComboBox>(IDC_LOCATION)->currentIndex(), 0);
         EXPECT_FALSE(w.is_checked(IDC_WATERMARK));
         EXPECT_EQ(w.watermark_color(), bgr_of(QApplication::palette().color(QPalette::Button)));
         EXPECT_TRUE(w.is_checked(IDC_AVI_RANGE));
         EXPECT_EQ(w.text_of(IDC_AVI_FROM), "0");
         EXPECT_EQ(w.text_of(IDC_AVI_TO), "12");
     }},
    {"link_to_dev_zero",
     [](MonitorTest&, std::string& job) { ASSERT_EQ(::symlink("/dev/zero", job.c_str()), 0); },
     {"is not a regular file", "shows the default settings"},
     shows_defaults,
     SaveOutcome::RefusesRead},
    {"fifo",
     [](MonitorTest&, std::string& job) { ASSERT_EQ(::mkfifo(job.c_str(), 0600), 0); },
     {"is not a regular file", "shows the default settings"},
     shows_defaults,
     SaveOutcome::RefusesRead},
    {"unreadable",
     [](MonitorTest&, std::string& job) {
         write_file(job, "[JPEG]\r\nquality=80\r\n[X]\r\nk=v\r\n");
         ASSERT_EQ(::chmod(job.c_str(), 0200), 0);  // writable, so only the window guards it
     },
     {"cannot be read: Permission denied", "shows the default settings"},
     shows_defaults,
     SaveOutcome::RefusesRead,
     true},
};

class HostileJobFile : public MonitorTest, public ::testing::WithParamInterface<HostileCase> {
  protected:
    // Runs this very test again as the unprivileged user nobody; true when it passed.
    bool passes_as_nobody() {
        std::string self(4096, '\0');
        self.resize(static_cast<std::size_t>(
            std::max<ssize_t>(::readlink("/proc/self/exe", self.data(), self.size()), 0)));
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string filter =
            std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name();
        return run_program("/usr/bin/setpriv",
                           {"--reuid=65534", "--regid=65534", "--clear-groups", self, filter},
                           {{"TMPDIR", "/tmp"}, {"HOME", "/tmp"}}) == 0;
    }

    void expect_load_message(const std::vector<QString>& said) {
        if (said.empty()) {
            EXPECT_TRUE(desktop.messages.empty()) << last_message().toStdString();
            return;
        }
        ASSERT_EQ(desktop.messages.size(), 1u);
        const ShownMessage& shown = desktop.messages.front();
        EXPECT_EQ(shown.caption, "Tarvik_morvane");
        EXPECT_EQ(shown.flags, MB_ICONWARNING);
        EXPECT_TRUE(shown.text.contains(QString::fromStdString(job)));
        for (const QString& part : said) {
            EXPECT_TRUE(shown.text.contains(part)) << part.toStdString() << "\nnot in\n"
                                                   << shown.text.toStdString();
        }
    }

    void expect_save(SaveOutcome outcome, const std::string& before) {
        desktop.messages.clear();
        make_folder(dir / "in");
        window->set_text(IDC_TARGET, QString::fromStdString(dir / "out"));
        window->set_text(IDC_SOURCE, QString::fromStdString(dir / "in"));
        const int saved = window->save_settings();
        if (outcome == SaveOutcome::Writes) {
            EXPECT_EQ(saved, 1);
            EXPECT_TRUE(desktop.messages.empty()) << last_message().toStdString();
            expect_unowned_kept(before, read_file(job));
            EXPECT_EQ(key("FOLDERS", "source"), dir / "in");
            return;
        }
        EXPECT_EQ(saved, 0);
        ASSERT_EQ(desktop.messages.size(), 1u);
        EXPECT_EQ(desktop.messages.back().flags, MB_ICONERROR);
        EXPECT_TRUE(last_message().startsWith("The settings cannot be saved: " +
                                              QString::fromStdString(job)));
        if (outcome == SaveOutcome::RefusesRead) {
            EXPECT_TRUE(last_message().contains("The file is left as it is"));
        } else {
            EXPECT_TRUE(last_message().contains("would be larger than 16 MiB"));
        }
        EXPECT_TRUE(file_state(job) == before) << "the job file changed";
    }
};

TEST_P(HostileJobFile, OpensSaysWhatItCouldNotUseAndKeepsWhatItDoesNotOwn) {
    const HostileCase& c = GetParam();
    if (c.unprivileged && ::geteuid() == 0) {
        EXPECT_TRUE(passes_as_nobody());
        return;
    }
    c.make(*this, job);
    if (HasFatalFailure()) return;
    const std::string before = file_state(job);
    MonitorWindow& w = open();
    EXPECT_TRUE(w.isVisible());
    expect_load_message(c.said);
    c.shows(w);
    expect_save(c.save, before);
}

INSTANTIATE_TEST_SUITE_P(Files, HostileJobFile, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The copy for a user who cannot write the program folder is made only from a regular
// file: a FIFO would block the start, a link to a device would be read for ever.
TEST(UserJobCopy, OnlyARegularDefaultIsCopied) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", (dir / "zero.ini").c_str()), 0);
    write_file(dir / "big.ini", std::string(16 * kMebibyte + 1, ';'));
    for (const char* name : {"fifo.ini", "zero.ini", "big.ini"}) {
        const std::string user = dir / (std::string("user-") + name);
        EXPECT_TRUE(make_user_job_file(dir / name, user)) << name;
        EXPECT_FALSE(exists(user)) << name;
    }
}

}  // namespace
}  // namespace morvane::test
