// A fresh folder under the temporary folder, removed with its contents: one
// interface for the Windows and the native tests, each defining it for its
// platform (common/scratch.cpp, native/host/files.cpp).
#pragma once

#include <string>

class TempDir {
public:
#ifdef _WIN32
    static constexpr char kSeparator = '\\';
#else
    static constexpr char kSeparator = '/';
#endif
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + kSeparator + name; }

private:
    std::string path_;
};
