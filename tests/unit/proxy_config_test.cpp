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

TEST(ProxyConfigTest, ProxyTextIsAddressColonPortAsTyped) {
    ProxyConfig config;
    config.address = L"127.0.0.1";
    config.port = L"3128";
    EXPECT_EQ(config.ProxyText(), L"127.0.0.1:3128");
    config.port.clear();
    EXPECT_EQ(config.ProxyText(), L"127.0.0.1:");
    config.address = L" proxy.local ";
    config.port = std::wstring(80, L'9');
    EXPECT_EQ(config.ProxyText(), L" proxy.local :" + std::wstring(80, L'9'));
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
