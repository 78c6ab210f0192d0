// The built skin library holds every bitmap the forms ask for, by name in either case.
#include <gtest/gtest.h>

#include <cctype>

#include "TestSupport.h"

namespace {

const char* const kNames[] = {"QForm", "top", "Top", "Aircraft", "b1", "b2", "bv1", "bv1a",
                              "bv2", "bv2a", "mappe_hvid", "ie", "Au"};

std::string Flip(std::string s) {
    for (char& c : s) c = std::isupper((unsigned char)c) ? std::tolower(c) : std::toupper(c);
    return s;
}

}  // namespace

TEST(SkinLibrary, EveryNamedBitmapLoadsInEitherCase) {
    HMODULE lib = LoadLibraryA((std::string(getenv("SKYKIT_DIST") ? getenv("SKYKIT_DIST") : ".") +
                                "/Skin32.dll").c_str());
    if (!lib) lib = LoadLibraryA("Skin32.dll");
    ASSERT_NE(lib, nullptr);
    for (const char* name : kNames) {
        for (const std::string& n : {std::string(name), Flip(name)}) {
            HBITMAP b = LoadBitmapA(lib, n.c_str());
            EXPECT_NE(b, nullptr) << n;
            BITMAP bm{};
            if (b) GetObjectA(b, sizeof(bm), &bm);
            EXPECT_GT(bm.bmWidth, 0) << n;
            if (b) DeleteObject(b);
        }
    }
    EXPECT_EQ(LoadBitmapA(lib, "NoSuchBitmap"), nullptr);
    FreeLibrary(lib);
}

TEST(SkinLibrary, PressedButtonLooksDifferentFromTheButtonAtRest) {
    HMODULE lib = LoadLibraryA("Skin32.dll");
    ASSERT_NE(lib, nullptr);
    for (auto [rest, pressed] : {std::pair{"b1", "b2"}, {"bv1", "bv1a"}, {"bv2", "bv2a"}}) {
        HBITMAP a = LoadBitmapA(lib, rest), b = LoadBitmapA(lib, pressed);
        ASSERT_TRUE(a && b);
        HDC dc = CreateCompatibleDC(nullptr);
        BITMAP bm;
        GetObjectA(a, sizeof(bm), &bm);
        SelectObject(dc, a);
        COLORREF ca = GetPixel(dc, bm.bmWidth / 2, 3);
        SelectObject(dc, b);
        COLORREF cb = GetPixel(dc, bm.bmWidth / 2, 3);
        DeleteDC(dc);
        EXPECT_NE(ca, cb) << rest;
        DeleteObject(a);
        DeleteObject(b);
    }
    FreeLibrary(lib);
}
