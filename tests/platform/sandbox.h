// A fresh temporary folder per test, set as XDG_CONFIG_HOME and HOME for the test's duration, so
// that nothing a test does reaches the real user's files. Also ends every injected failure.
// Permission cases run as nobody: see ContinueAsNobody.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "nobody.h"
#include "platform/Files.h"
#include "platform/Memory.h"

class Sandbox : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* given = std::getenv(kAdoptVariable)) {  // the child of ContinueAsNobody
            Root = given;
            Adopted = true;
        } else {
            std::string pattern = (std::filesystem::temp_directory_path() / "bw-test-XXXXXX").string();
            ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
            Root = pattern;
        }
        Config = Root + "/config";
        Home = Root + "/home";
        std::filesystem::create_directories(Home);
        Keep("XDG_CONFIG_HOME", Config);
        Keep("HOME", Home);
    }
    void TearDown() override {
        MemFailNextAllocations(0);
        FSFailWritesAfter(-1);
        for (auto& [name, value] : Saved) value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
        std::error_code ec;
        if (!Adopted) std::filesystem::remove_all(Root, ec);
        if (!Copies.empty()) std::filesystem::remove_all(Copies, ec);
    }

    // Permission cases, which mean nothing to root. Not root, or in the child: answers true and
    // the caller goes on with the case. As root: gives the sandbox to nobody (except keepRoot),
    // runs this same test again as nobody on this sandbox, reports its result as this test's and
    // answers false. The child skips what the parent prepared (Adopted).
    bool ContinueAsNobody(const std::vector<std::string>& keepRoot = {}) {
        if (Adopted || !nobody::IsRoot()) return true;
        nobody::Give(Root, keepRoot);
        std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
        if (!nobody::CanRun(program)) program = nobody::CopyWhereNobodyReaches(program, "tests", &Copies);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::vector<std::string> argv;
#ifdef BW_TEST_EMULATOR  // a cross-built test program runs under its emulator, the copy too
        std::istringstream words(BW_TEST_EMULATOR);
        for (std::string w; words >> w;) argv.push_back(w);
#endif
        argv.push_back(program);
        argv.push_back(std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name());
        std::string output;
        const int status = nobody::Run(argv, output, {std::string(kAdoptVariable) + "=" + Root});
        EXPECT_EQ(status, 0) << (status == -1 ? "setpriv (util-linux) is needed to run this as nobody" : output);
        EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
        return false;
    }
    // Sets (or with nullopt unsets) a variable until the end of the test.
    void Keep(const std::string& name, std::optional<std::string> value) {
        if (!Saved.count(name)) {
            const char* old = std::getenv(name.c_str());
            Saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
    }

    std::string PrefsPath() const { return Config + "/kpblk-Prefs"; }

    static std::vector<uint8_t> ReadBytes(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    static void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    static mode_t ModeOf(const std::string& path) {  // permission bits, 0 when missing
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
    }
    // Names in a folder, to find temporary files left behind.
    static std::vector<std::string> Listing(const std::string& dir) {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    static constexpr const char* kAdoptVariable = "BW_TEST_SANDBOX";
    std::string Root, Config, Home;
    bool Adopted = false;  // running as nobody on the sandbox of the test that started us
    std::string Copies;    // the test program copied where nobody reaches it
    std::map<std::string, std::optional<std::string>> Saved;
};
