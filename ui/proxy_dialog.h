// The proxy settings dialog. Edits a copy; OK writes it back to the record.
#pragma once

#include "platform/dialog_win.h"
#include "core/proxy_config.h"

namespace cveltrix {

class ProxySeting final : public win::Dialog {
public:
    explicit ProxySeting(ProxyConfig& config);
    ~ProxySeting() override;

private:
    bool OnInitDialog() override;
    void DoDataExchange(win::DataExchange& exchange) override;
    bool OnCommand(WORD controlId, WORD code) override;
    void OnOK() override;

    void ChooseUseProxy();
    void ChooseNoProxy();
    void MaskPassword();
    void EnableEdits(bool enabled);

    ProxyConfig& config_;
    std::wstring address_;
    std::wstring userName_;
    std::wstring password_;
    std::wstring port_;
    int mode_;
};

}  // namespace cveltrix
