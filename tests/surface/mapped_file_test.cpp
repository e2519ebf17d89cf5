// Mapped file: whole files, empty files, missing files, repeated closing.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "quorvane/image/decoded_image.h"
#include "quorvane/surface/mapped_file.h"

namespace {

std::string TempFile(const char* name, const std::string& content) {
    const std::string path = ::testing::TempDir() + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f != nullptr) {
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
    }
    return path;
}

TEST(MappedFile, MapsTheWholeFile) {
    std::string content(10000, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
    const std::string path = TempFile("qv_mapped_whole.bin", content);
    qv::MappedFile file;
    ASSERT_EQ(file.Open(path.c_str()), S_OK);
    ASSERT_NE(file.data, nullptr);
    ASSERT_EQ(file.size, content.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data), file.size), content);
    EXPECT_EQ(file.Close(), S_OK);
    EXPECT_EQ(file.data, nullptr);
    EXPECT_EQ(file.size, 0u);
    EXPECT_EQ(file.file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(file.mapping, INVALID_HANDLE_VALUE);
    EXPECT_EQ(file.Close(), S_OK) << "a second Close finds nothing to release";
    unlink(path.c_str());
}

TEST(MappedFile, EmptyFileOpensWithoutData) {
    const std::string path = TempFile("qv_mapped_empty.bin", "");
    qv::MappedFile file;
    EXPECT_EQ(file.Open(path.c_str()), S_OK);
    EXPECT_EQ(file.data, nullptr);
    EXPECT_EQ(file.size, 0u);
    EXPECT_NE(file.file, INVALID_HANDLE_VALUE);
    file.Close();
    EXPECT_EQ(file.file, INVALID_HANDLE_VALUE);
    unlink(path.c_str());
}

TEST(MappedFile, RefusesMissingFilesAndNullNames) {
    qv::MappedFile file;
    EXPECT_EQ(file.Open(nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(file.file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(file.Open((::testing::TempDir() + "qv_no_such_file.png").c_str()), qv::QVERR_INVALIDDATA);
    EXPECT_EQ(file.file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(file.data, nullptr);
    EXPECT_EQ(file.Close(), S_OK);
    // A folder opens but is neither sized nor mapped as a file.
    qv::MappedFile folder;
    EXPECT_LT(folder.Open(::testing::TempDir().c_str()), 0);
    folder.Close();
    EXPECT_EQ(folder.file, INVALID_HANDLE_VALUE);
}

}  // namespace
