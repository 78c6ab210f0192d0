// Member names as paths below a folder: what may be written and what is refused.
#include <gtest/gtest.h>

#include "SafePath.h"

using namespace kit;

TEST(SafeMemberPath, AcceptsNamesInsideTheFolder) {
    struct Case {
        const char* name;
        const char* rel;
    } cases[] = {{"readme.txt", "readme.txt"},
                 {"scenery/area.bgl", "scenery\\area.bgl"},
                 {"scenery\\area.bgl", "scenery\\area.bgl"},
                 {"./a//b/./c.txt", "a\\b\\c.txt"},
                 {"Aircraft Demo/model/plane.mdl", "Aircraft Demo\\model\\plane.mdl"},
                 {"folder/", "folder"},
                 {"..name/x..y", "..name\\x..y"},
                 {"console.txt", "console.txt"},
                 {"com10.txt", "com10.txt"}};
    for (const Case& c : cases) {
        std::string rel, why;
        EXPECT_TRUE(SafeMemberPath(c.name, rel, why)) << c.name << ": " << why;
        EXPECT_EQ(rel, c.rel) << c.name;
    }
    std::string rel, why;
    EXPECT_TRUE(SafeMemberPath("./", rel, why));
    EXPECT_EQ(rel, "");
}

TEST(SafeMemberPath, RefusesEveryWayOut) {
    const char* bad[] = {"../evil.txt", "..\\evil.txt", "a/../../evil.txt", "a/../b", "/etc/passwd", "\\Windows\\x.dll",
                         "\\\\server\\share\\x", "\\\\?\\C:\\x", "C:/x.txt", "C:x.txt", "c:\\x.txt", "a/b:stream",
                         "a/.../b", "a/.. /b", "a/. ./b", "nul", "NUL.txt", "a/com1.dat", "LPT9", "aux.h",
                         "CON", "a\tb", "x\x01y", "what?.txt", "star*.txt", "a<b", "a>b", "a|b", "a\"b"};
    for (const char* name : bad) {
        std::string rel = "unchanged", why;
        EXPECT_FALSE(SafeMemberPath(name, rel, why)) << name;
        EXPECT_FALSE(why.empty()) << name;
    }
}

TEST(SafeMemberPath, DeviceNames) {
    EXPECT_TRUE(IsDeviceName("nul"));
    EXPECT_TRUE(IsDeviceName("Com3.log"));
    EXPECT_TRUE(IsDeviceName("PRN"));
    EXPECT_FALSE(IsDeviceName("COM0"));
    EXPECT_FALSE(IsDeviceName("nullable"));
    EXPECT_FALSE(IsDeviceName("readme"));
}

TEST(SafeMemberPath, InsideTest) {
    EXPECT_TRUE(IsInside("C:\\Out", "C:\\Out\\a.txt"));
    EXPECT_TRUE(IsInside("C:\\Out\\", "c:\\out\\sub\\a.txt"));
    EXPECT_FALSE(IsInside("C:\\Out", "C:\\Out"));
    EXPECT_FALSE(IsInside("C:\\Out", "C:\\Outside\\a.txt"));
    EXPECT_FALSE(IsInside("C:\\Out", "C:\\a.txt"));
    EXPECT_FALSE(IsInside("", "C:\\a.txt"));
}
