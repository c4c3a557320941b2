// What the page loop needs of a label filter's command renderer.
#pragma once

#include <memory>

#include "filter/records.h"
#include "settings/oem_cfg.h"

class LabelRenderer {
  public:
    virtual ~LabelRenderer() = default;
    // Hands the renderer the job's three records; it reads them and writes back a few fields.
    virtual void Attach(tagOEMCFG* cfg, _DEVMODE* devMode, _OEMPDEV* pdev) = 0;
    // Writes the job's set-up commands; the result is only logged.
    virtual int StartDocCMD() = 0;
    // Converts the page image in the page device record and writes its commands.
    virtual bool TransCommand(bool isLastPage, bool logFlag) = 0;
};

// One renderer object serves the whole job.
template <typename Renderer>
class JobRenderer final : public LabelRenderer {
  public:
    void Attach(tagOEMCFG* cfg, _DEVMODE* devMode, _OEMPDEV* pdev) override {
        renderer_.SetOemCfgPointer(cfg);
        renderer_.SetDevModePointer(devMode);
        renderer_.SetOemPdevPointer(pdev);
    }
    int StartDocCMD() override { return static_cast<int>(renderer_.StartDocCMD()); }
    bool TransCommand(bool isLastPage, bool logFlag) override {
        return renderer_.TransCommand(isLastPage, logFlag);
    }

  private:
    Renderer renderer_;
};

// A fresh renderer object for every call: constructed, given the records, called, destroyed.
template <typename Renderer>
class PerCallRenderer final : public LabelRenderer {
  public:
    void Attach(tagOEMCFG* cfg, _DEVMODE* devMode, _OEMPDEV* pdev) override {
        cfg_ = cfg;
        devMode_ = devMode;
        pdev_ = pdev;
    }
    int StartDocCMD() override { return static_cast<int>(Fresh().StartDocCMD()); }
    bool TransCommand(bool isLastPage, bool logFlag) override {
        return Fresh().TransCommand(isLastPage, logFlag);
    }

  private:
    Renderer Fresh() const {
        Renderer renderer;
        renderer.SetOemCfgPointer(cfg_);
        renderer.SetDevModePointer(devMode_);
        renderer.SetOemPdevPointer(pdev_);
        return renderer;
    }
    tagOEMCFG* cfg_ = nullptr;
    _DEVMODE* devMode_ = nullptr;
    _OEMPDEV* pdev_ = nullptr;
};

template <template <typename> class Lifetime, typename Renderer>
std::unique_ptr<LabelRenderer> MakeLabelRenderer() {
    return std::make_unique<Lifetime<Renderer>>();
}
