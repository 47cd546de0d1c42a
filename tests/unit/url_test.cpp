#include "core/url.h"

#include <gtest/gtest.h>

namespace cveltrix {
namespace {

struct LocationCase {
    const wchar_t* location;
    std::optional<std::wstring> resolved;
};

class ResolveLocationTest : public testing::TestWithParam<LocationCase> {};

TEST_P(ResolveLocationTest, ReadsTheLocationAgainstTheUrlAsked) {
    EXPECT_EQ(ResolveLocation(L"http://a.example:8080/dl/043/setup.exe?x=1", GetParam().location),
              GetParam().resolved)
        << testing::PrintToString(GetParam().location);
}

INSTANTIATE_TEST_SUITE_P(
    Locations, ResolveLocationTest,
    testing::Values(LocationCase{L"https://b.example/f.exe", L"https://b.example/f.exe"},
                    LocationCase{L"HTTP://b.example/f.exe", L"HTTP://b.example/f.exe"},
                    LocationCase{L"//b.example/f.exe", L"http://b.example/f.exe"},
                    LocationCase{L"/mirror/f.exe", L"http://a.example:8080/mirror/f.exe"},
                    LocationCase{L"f2.exe", L"http://a.example:8080/dl/043/f2.exe"},
                    LocationCase{L"ftp://b.example/f.exe", std::nullopt},
                    LocationCase{L"javascript:alert(1)", std::nullopt},
                    LocationCase{L"file:///C:/Windows/f.exe", std::nullopt},
                    LocationCase{L"//", std::nullopt}, LocationCase{L"http://user@/f.exe", std::nullopt},
                    LocationCase{L"f 2.exe", std::nullopt}, LocationCase{L"f.exe\r\nSet-Cookie: x", std::nullopt}));

// RFC 3986 section 5.4, normal and abnormal examples; only what names
// another scheme ("g:h", and "http:g" read strictly, which has no host)
// resolves to nothing.
class Rfc3986ExampleTest : public testing::TestWithParam<LocationCase> {};

TEST_P(Rfc3986ExampleTest, ResolvesAsTheRfcDoes) {
    EXPECT_EQ(ResolveLocation(L"http://a/b/c/d;p?q", GetParam().location), GetParam().resolved)
        << testing::PrintToString(GetParam().location);
}

INSTANTIATE_TEST_SUITE_P(
    Normal, Rfc3986ExampleTest,
    testing::Values(LocationCase{L"g:h", std::nullopt}, LocationCase{L"g", L"http://a/b/c/g"},
                    LocationCase{L"./g", L"http://a/b/c/g"}, LocationCase{L"g/", L"http://a/b/c/g/"},
                    LocationCase{L"/g", L"http://a/g"}, LocationCase{L"//g", L"http://g"},
                    LocationCase{L"?y", L"http://a/b/c/d;p?y"}, LocationCase{L"g?y", L"http://a/b/c/g?y"},
                    LocationCase{L"#s", L"http://a/b/c/d;p?q#s"}, LocationCase{L"g#s", L"http://a/b/c/g#s"},
                    LocationCase{L"g?y#s", L"http://a/b/c/g?y#s"}, LocationCase{L";x", L"http://a/b/c/;x"},
                    LocationCase{L"g;x", L"http://a/b/c/g;x"}, LocationCase{L"g;x?y#s", L"http://a/b/c/g;x?y#s"},
                    LocationCase{L"", L"http://a/b/c/d;p?q"}, LocationCase{L".", L"http://a/b/c/"},
                    LocationCase{L"./", L"http://a/b/c/"}, LocationCase{L"..", L"http://a/b/"},
                    LocationCase{L"../", L"http://a/b/"}, LocationCase{L"../g", L"http://a/b/g"},
                    LocationCase{L"../..", L"http://a/"}, LocationCase{L"../../", L"http://a/"},
                    LocationCase{L"../../g", L"http://a/g"}));

INSTANTIATE_TEST_SUITE_P(
    Abnormal, Rfc3986ExampleTest,
    testing::Values(LocationCase{L"../../../g", L"http://a/g"}, LocationCase{L"../../../../g", L"http://a/g"},
                    LocationCase{L"/./g", L"http://a/g"}, LocationCase{L"/../g", L"http://a/g"},
                    LocationCase{L"g.", L"http://a/b/c/g."}, LocationCase{L".g", L"http://a/b/c/.g"},
                    LocationCase{L"g..", L"http://a/b/c/g.."}, LocationCase{L"..g", L"http://a/b/c/..g"},
                    LocationCase{L"./../g", L"http://a/b/g"}, LocationCase{L"./g/.", L"http://a/b/c/g/"},
                    LocationCase{L"g/./h", L"http://a/b/c/g/h"}, LocationCase{L"g/../h", L"http://a/b/c/h"},
                    LocationCase{L"g;x=1/./y", L"http://a/b/c/g;x=1/y"},
                    LocationCase{L"g;x=1/../y", L"http://a/b/c/y"},
                    LocationCase{L"g?y/./x", L"http://a/b/c/g?y/./x"},
                    LocationCase{L"g?y/../x", L"http://a/b/c/g?y/../x"},
                    LocationCase{L"g#s/./x", L"http://a/b/c/g#s/./x"},
                    LocationCase{L"g#s/../x", L"http://a/b/c/g#s/../x"}, LocationCase{L"http:g", std::nullopt}));

TEST(WithoutFragmentTest, LeavesTheFragmentWithTheClient) {
    EXPECT_EQ(WithoutFragment(L"http://a/b/c/g?y#s/../x"), L"http://a/b/c/g?y");
    EXPECT_EQ(WithoutFragment(L"http://a/b"), L"http://a/b");
}

TEST(ResolveLocationTest, ARelativeNameAtTheRootOfAHost) {
    EXPECT_EQ(ResolveLocation(L"http://a.example", L"f.exe"), L"http://a.example/f.exe");
}

}  // namespace
}  // namespace cveltrix
