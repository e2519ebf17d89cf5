// The registry: the file format, in-process values, and the query rules.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "quorvane/platform/test_hooks.h"
#include "quorvane/platform/win_registry.h"

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        qv::testing::ClearRegistry();
        ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Direct3D", &key_), ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(key_);
        qv::testing::ClearRegistry();
        std::remove(path_.c_str());
    }

    bool Load(const std::string& text) {
        std::ofstream(path_) << text;
        return qv::testing::LoadRegistryFile(path_.c_str());
    }

    // The value as a DWORD; -1 when absent or of another type.
    long long Dword(const char* name) {
        DWORD type = 0, value = 0, size = sizeof value;
        if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
            type != REG_DWORD || size != 4)
            return -1;
        return value;
    }

    HKEY key_ = nullptr;
    std::string path_ = ::testing::TempDir() + "qv-registry-test.conf";
};

TEST_F(RegistryTest, OnlyTheDirect3DKeyOpens) {
    HKEY other = nullptr;
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\DIRECT3D", &other), ERROR_SUCCESS);
    EXPECT_EQ(other, key_);
    EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Other", &other), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Direct3D", &other), ERROR_FILE_NOT_FOUND);
    DWORD type = 0;
    EXPECT_EQ(RegQueryValueExA(other, "x", nullptr, &type, nullptr, nullptr), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, FileValuesOfBothTypesAndBadLinesSkipped) {
    qv::testing::CaptureDebugOutput(true);
    ASSERT_TRUE(Load("# comment\n"
                     "; another\n"
                     "\n"
                     "  DisablePSGP = dword:1\n"
                     "DisableMMX=dword:0x10\n"
                     "Name = sz:some text \n"
                     "TooBig = dword:4294967296\n"
                     "Negative = dword:-1\n"
                     "NoEquals\n"
                     "Odd = qword:5\n"));
    const auto lines = qv::testing::TakeDebugOutput();
    qv::testing::CaptureDebugOutput(false);
    ASSERT_EQ(lines.size(), 4u) << "one line per malformed entry";
    EXPECT_NE(lines[0].find("line 7"), std::string::npos) << lines[0];

    EXPECT_EQ(Dword("disablepsgp"), 1) << "names compare without case";
    EXPECT_EQ(Dword("DisableMMX"), 16);
    EXPECT_EQ(Dword("TooBig"), -1);
    EXPECT_EQ(Dword("Name"), -1) << "a string is not a DWORD";

    char text[32] = {};
    DWORD type = 0, size = sizeof text;
    ASSERT_EQ(RegQueryValueExA(key_, "Name", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_STREQ(text, "some text");
    EXPECT_EQ(size, 10u) << "the size counts the terminator";

    EXPECT_FALSE(qv::testing::LoadRegistryFile("/nonexistent/registry.conf"));
    EXPECT_EQ(Dword("DisablePSGP"), 1) << "a missing file leaves the store as it was";
}

TEST_F(RegistryTest, SmallBuffersAndSizeQueries) {
    qv::testing::SetRegistryString("Text", "abcdef");
    DWORD type = 0, size = 3;
    char small[3] = {'x', 'x', 'x'};
    EXPECT_EQ(RegQueryValueExA(key_, "Text", nullptr, &type, reinterpret_cast<BYTE*>(small), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(small[0], 'x') << "nothing copied into a buffer that is too small";
    size = 0;
    EXPECT_EQ(RegQueryValueExA(key_, "Text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(RegQueryValueExA(key_, "Text", nullptr, &type, reinterpret_cast<BYTE*>(small), nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key_, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, InProcessValuesOverrideAndClear) {
    ASSERT_TRUE(Load("DisablePSGP = dword:2\nQuorvaneDoNotMute = dword:1\n"));
    qv::testing::SetRegistryDword("DisablePSGP", 7);
    EXPECT_EQ(Dword("DisablePSGP"), 7);
    qv::testing::ClearRegistryValue("DisablePSGP");
    EXPECT_EQ(Dword("DisablePSGP"), -1) << "cleared, the file's value included";
    EXPECT_EQ(Dword("QuorvaneDoNotMute"), 1);
    qv::testing::ClearRegistry();
    EXPECT_EQ(Dword("QuorvaneDoNotMute"), -1);
}

}  // namespace
