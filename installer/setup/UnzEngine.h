// The package's unzip engine, "Unzeng.dll", bound at run time by its two entry points:
// GetUnzEngVersion() and UnzEngExec(parameter block). The engine extracts into the current
// directory and reports through a callback record; this class fills the block in the layout
// the engine's version asks for and turns the records into calls of Events.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace kit {

class UnzEngine {
public:
    // What the engine reports while it works. Each call returns true to ask it to stop.
    class Events {
    public:
        virtual ~Events() = default;
        virtual bool FileCount(int n) = 0;
        virtual bool ByteCount(int64_t n) = 0;
        virtual bool FileStart(const std::string& name, int64_t size) = 0;
        virtual bool BytesDone(int64_t n) = 0;
        virtual bool Message(int code, const std::string& text) = 0;
        virtual bool Tick() = 0;   // the engine is busy; a chance to repaint and to cancel
    };

    UnzEngine() = default;
    ~UnzEngine();
    UnzEngine(const UnzEngine&) = delete;
    UnzEngine& operator=(const UnzEngine&) = delete;

    // Loads the library by full path; false with a reason when it is missing or lacks an
    // entry point.
    bool Load(const std::string& path, std::string& why);
    bool Loaded() const { return module_ != nullptr; }
    int Version() const { return version_; }

    // Extracts every member of archive (with its folders) into the current directory.
    // Returns the engine's count of members extracted.
    int ExtractAll(HWND window, const std::string& archive, bool overwrite, Events& events);

private:
    using VersionFn = int32_t(__stdcall*)();
    using ExecFn = int32_t(__stdcall*)(void*);
    HMODULE module_ = nullptr;
    VersionFn version_fn_ = nullptr;
    ExecFn exec_ = nullptr;
    int version_ = 0;
};

}  // namespace kit
