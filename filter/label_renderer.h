// What the page loop needs of a label filter's command renderer.
#pragma once

#include <memory>

#include "filter/output_sink.h"
#include "filter/records.h"
#include "settings/oem_cfg.h"

class LabelRenderer {
  public:
    virtual ~LabelRenderer() = default;
    // Hands the renderer the job's three records and its output; it reads the records and
    // writes back a few fields.
    virtual void Attach(tagOEMCFG* cfg, _DEVMODE* devMode, _OEMPDEV* pdev, OutputSink& output) = 0;
    // Writes the job's set-up commands; the result is only logged.
    virtual int StartDocCMD() = 0;
    // Converts the page image in the page device record and writes its commands.
    virtual bool TransCommand(bool isLastPage, bool logFlag) = 0;
};

// Gives a renderer object the job's records and output.
template <typename Renderer>
void AttachTo(Renderer& renderer, tagOEMCFG* cfg, _DEVMODE* devMode, _OEMPDEV* pdev,
              OutputSink* output) {
    renderer.SetOemCfgPointer(cfg);
    renderer.SetDevModePointer(devMode);
    renderer.SetOemPdevPointer(pdev);
    renderer.SetOutputSink(output);
}

// One renderer object serves the whole job.
template <typename Renderer>
class JobRenderer final : public LabelRenderer {
  public:
    void Attach(tagOEMCFG* cfg, _DEVMODE* devMode, _OEMPDEV* pdev, OutputSink& output) override {
        AttachTo(renderer_, cfg, devMode, pdev, &output);
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
    void Attach(tagOEMCFG* cfg, _DEVMODE* devMode, _OEMPDEV* pdev, OutputSink& output) override {
        cfg_ = cfg;
        devMode_ = devMode;
        pdev_ = pdev;
        output_ = &output;
    }
    int StartDocCMD() override {
        Renderer renderer;
        AttachTo(renderer, cfg_, devMode_, pdev_, output_);
        return static_cast<int>(renderer.StartDocCMD());
    }
    bool TransCommand(bool isLastPage, bool logFlag) override {
        Renderer renderer;
        AttachTo(renderer, cfg_, devMode_, pdev_, output_);
        return renderer.TransCommand(isLastPage, logFlag);
    }

  private:
    tagOEMCFG* cfg_ = nullptr;
    _DEVMODE* devMode_ = nullptr;
    _OEMPDEV* pdev_ = nullptr;
    OutputSink* output_ = nullptr;
};

// How long a renderer object lives.
enum class RendererLifetime {
    OnePerJob,     // JobRenderer
    FreshPerCall,  // PerCallRenderer
};

template <typename Renderer>
std::unique_ptr<LabelRenderer> MakeLabelRenderer(RendererLifetime lifetime) {
    if (lifetime == RendererLifetime::FreshPerCall) {
        return std::make_unique<PerCallRenderer<Renderer>>();
    }
    return std::make_unique<JobRenderer<Renderer>>();
}
