// Scratch files for tests: each test gets a fresh folder that is removed
// with it, so runs never see each other's packages.
#pragma once
#include <string>

#include "packaging/trailer_writer.h"

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // Writes bytes into a file of that name inside the folder; returns its path.
    std::string write(const std::string& name, const packaging::Bytes& bytes) const;

  private:
    std::string path_;
};
