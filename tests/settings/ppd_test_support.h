// An opened PPD fixture with the job's options marked, for the settings tests.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "filter/page_input.h"
#include "settings/ppd_api.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/temp_dir.h"

class OpenedPpd {
  public:
    explicit OpenedPpd(const PpdFixture& fixture, const std::string& options = "") {
        path_ = fixture.WriteTo(dir_.File("test.ppd"));
        setenv("PPD", path_.c_str(), 1);
        ppd_ = ppdOpenFile(path_.c_str());
        if (ppd_ != nullptr) InitializeSetting(options.c_str(), ppd_);
    }
    ~OpenedPpd() {
        if (ppd_ != nullptr) ppdClose(ppd_);
        unsetenv("PPD");
    }
    ppd_file_t* get() const { return ppd_; }
    const std::string& path() const { return path_; }

  private:
    TempDir dir_;
    std::string path_;
    ppd_file_t* ppd_ = nullptr;
};
