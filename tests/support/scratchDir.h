// A fresh directory under /tmp for each test, removed with all it holds
// afterwards, for the tests that work on real files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace pelo {

class ScratchDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/pelo-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(scratch); }

    /// The path of a name below the directory.
    std::string path(std::string_view name) const { return (scratch / name).string(); }
    /// Writes the bytes to the name, making the directories above it.
    void write(std::string_view name, std::string_view bytes) const {
        std::filesystem::create_directories((scratch / name).parent_path());
        std::ofstream(scratch / name, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    }
    /// The bytes of the name; "" when it cannot be read.
    std::string read(std::string_view name) const {
        std::ifstream in(scratch / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    std::filesystem::path scratch;
};

}  // namespace pelo
