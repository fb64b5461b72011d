#include "engine_fixture.h"

#include <filesystem>

namespace morvane::test {
namespace fs = std::filesystem;

EngineTest::EngineTest() {
    make_folder(program_);
    make_folder(tmp_);
    make_folder(in_);
    for (const auto& entry : fs::directory_iterator(PROGRAM_FOLDER)) {
        const std::string name = entry.path().filename().string();
        if (name == "Tarvik_morvane" || entry.path().extension() == ".so") {
            fs::copy_file(entry.path(), program_ + "/" + name);
        }
    }
}

void EngineTest::write_job_text(const std::string& text) {
    write_file(job_, text);
}

void EngineTest::write_job(const std::vector<std::string>& more) {
    std::string text = "[FOLDERS]\r\nsource=" + in_ + "\r\ntarget=" + out_ + "\r\n";
    for (const std::string& line : more) text += line + "\r\n";
    write_job_text(text);
}

int EngineTest::run(const std::vector<std::string>& args) {
    return run_program(program_ + "/Tarvik_morvane", args,
                       {{"TMPDIR", tmp_}, {"ASAN_OPTIONS", "detect_leaks=0"}});
}

std::string EngineTest::log_body() const {
    const std::string text = log();
    const std::string rule = "###############################################\r\n\r\n";
    const std::size_t header_end = text.find(rule, text.find("keep aspect ratio"));
    const std::size_t footer = text.rfind("\r\n###");
    if (header_end == std::string::npos || footer == std::string::npos) return text;
    const std::size_t start = header_end + rule.size();
    return text.substr(start, footer - start);
}

std::string expected_header(const HeaderValues& v) {
    const std::string rule = "###############################################";
    std::string h = rule + "\r\nTarvik_morvane v1.31\r\n" + rule + "\r\n\r\n";
    h += "          qopPath: " + v.source + "\r\n";
    h += "      target path: " + v.target + "\r\n";
    h += "          recurse: " + std::to_string(v.recurse) + "\r\n";
    h += "   reproduce_path: " + std::to_string(v.reproduce_path) + "\r\n";
    h += "  extract all pdf: " + std::to_string(v.pdf_all) + "\r\n";
    h += " extract all tiff: " + std::to_string(v.tiff_all) + "\r\n";
    h += "          quality: " + std::to_string(v.quality) + "\r\n";
    h += " progressive jpeg: " + std::to_string(v.progressive) + "\r\n";
    h += "      pdf density: " + std::to_string(v.pdf_density) + "\r\n";
    h += "          move to: " + v.move_to + "\r\n";
    h += "             size: " + v.size + "\r\n";
    h += std::string("keep aspect ratio: ") + (v.aspect ? "yes" : "no") + "\r\n\r\n";
    h += std::string("     do watermark: ") + (v.watermark ? "yes" : "no") + "\r\n\r\n";
    h += rule + "\r\n\r\n";
    return h;
}

std::string expected_footer(unsigned count) {
    return "\r\n###############################################\r\n\r\nprocessing finished\r\n"
           "converted files: " +
           std::to_string(count) + "\r\n";
}

unsigned result_lines(const std::string& body) {
    unsigned lines = 0;
    std::size_t start = 0;
    while (start < body.size()) {
        std::size_t end = body.find("\r\n", start);
        if (end == std::string::npos) end = body.size();
        const std::string line = body.substr(start, end - start);
        if (line.starts_with("Could not convert ") || line.ends_with(" converted") ||
            line.find(" was not created,") != std::string::npos) {
            ++lines;
        }
        start = end + 2;
    }
    return lines;
}

}  // namespace morvane::test
