#include "core/proxy_config.h"

#include <gtest/gtest.h>

namespace cveltrix {
namespace {

TEST(ProxyConfigTest, StartsWithoutAProxyAndWithEmptyTexts) {
    const ProxyConfig config;
    EXPECT_EQ(config.mode, ProxyConfig::kNoProxy);
    EXPECT_EQ(ProxyConfig::kNoProxy, 1);
    EXPECT_EQ(ProxyConfig::kUseProxy, 0);
    EXPECT_TRUE(config.address.empty() && config.port.empty());
    EXPECT_TRUE(config.userName.empty() && config.password.empty());
}

struct ProxyTextCase {
    std::wstring address;
    std::wstring port;
    std::wstring text;
};

class ProxyTextTest : public testing::TestWithParam<ProxyTextCase> {};

// The fields as OK takes them, then the text the client gets.
TEST_P(ProxyTextTest, IsAddressColonPortWithoutTheBlanksAround) {
    ProxyConfig config;
    config.address = GetParam().address;
    config.port = GetParam().port;
    config.TrimTypedBlanks();
    EXPECT_EQ(config.ProxyText(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Typed, ProxyTextTest,
    testing::Values(ProxyTextCase{L"127.0.0.1", L"3128", L"127.0.0.1:3128"},
                    ProxyTextCase{L"127.0.0.1", L"", L"127.0.0.1:"},
                    ProxyTextCase{L"proxy.local", std::wstring(80, L'9'), L"proxy.local:" + std::wstring(80, L'9')},
                    // Pasted from a mail, or typed with a Japanese IME's wide space.
                    ProxyTextCase{L" proxy.local ", L" 8080\t", L"proxy.local:8080"},
                    ProxyTextCase{L"\u3000proxy.local\r\n", L"8080\u3000", L"proxy.local:8080"},
                    ProxyTextCase{L"   ", L" ", L":"},
                    ProxyTextCase{L"my proxy", L"80 80", L"my proxy:80 80"},
                    // An IPv6 address in brackets, or its last group reads as the port.
                    ProxyTextCase{L"fd00::5", L"3128", L"[fd00::5]:3128"},
                    ProxyTextCase{L" ::1 ", L"3128", L"[::1]:3128"},
                    ProxyTextCase{L"[fd00::5]", L"3128", L"[fd00::5]:3128"},
                    ProxyTextCase{L" [::1]", L"3128", L"[::1]:3128"},
                    // One colon is a port typed with the address, not IPv6.
                    ProxyTextCase{L"proxy.local:8080", L"", L"proxy.local:8080:"}));

TEST(ProxyConfigTest, OkTrimsTheUserNameButKeepsThePasswordAsTyped) {
    ProxyConfig config;
    config.userName = L" alice\t";
    config.password = L" s3cret ";
    config.TrimTypedBlanks();
    EXPECT_EQ(config.userName, L"alice");
    EXPECT_EQ(config.password, L" s3cret ");
}

TEST(ProxyConfigTest, WipingClearsOnlyTheCredentials) {
    ProxyConfig config;
    config.address = L"127.0.0.1";
    config.port = L"3128";
    config.userName = std::wstring(100, L'u');
    config.password = L"s3cret";
    config.mode = ProxyConfig::kUseProxy;
    config.WipeCredentials();
    EXPECT_EQ(config.userName, L"");
    EXPECT_EQ(config.password, L"");
    EXPECT_EQ(config.ProxyText(), L"127.0.0.1:3128");
    EXPECT_EQ(config.mode, ProxyConfig::kUseProxy);
}

TEST(ProxyConfigTest, TheProcessHasOneRecord) {
    EXPECT_EQ(&ProcessProxyConfig(), &ProcessProxyConfig());
}

}  // namespace
}  // namespace cveltrix
