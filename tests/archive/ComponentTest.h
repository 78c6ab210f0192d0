// What the component's tests share beyond the support library: the recording engine's
// directories, the engine of the build, and a fixture with a recording desktop and a scratch
// folder.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ZipPacker.h"

inline std::string RecorderDir(const char* which) { return testing_support::ExeDir() + "archive\\" + which; }

// The engine of the build: the install directory, else beside the tests.
inline std::string EngineDir() {
    const char* dist = std::getenv("SKYKIT_DIST");
    if (dist && *dist) {
        // SKYKIT_DIST is a host path: Wine shows it under Z:.
        std::string p = std::string("Z:") + dist;
        for (char& c : p)
            if (c == '/') c = '\\';
        if (ui::FileExists(p + "\\ZIPENG.DLL")) return p;
    }
    return testing_support::ExeDir();
}

// Every test gets a recording desktop and a quiet component. The component deletes through
// the shell's file operation: those really happen.
class ComponentTest : public ::testing::Test {
protected:
    testing_support::FakeDesktop desk;
    testing_support::ScratchDir scratch;
    ComponentTest() { desk.realFileOperations = true; }
    std::vector<testing_support::Call> Boxes() const { return desk.Of("MessageBox"); }
};
