#include "ui/proxy_dialog.h"

#include "ui/dialog_texts.h"
#include "resources/resource.h"

namespace cveltrix {
namespace {

constexpr int kEdits[] = {IDC_ADDRESS, IDC_PORT, IDC_USER_NAME, IDC_PASSWORD};

}  // namespace

ProxySeting::ProxySeting(ProxyConfig& config)
    : Dialog(IDD_PROXY_SETTING),
      config_(config),
      address_(config.address),
      userName_(config.userName),
      password_(config.password),
      port_(config.port),
      mode_(config.mode) {}

ProxySeting::~ProxySeting() {
    WipeText(userName_);
    WipeText(password_);
}

void ProxySeting::DoDataExchange(win::DataExchange& exchange) {
    exchange.Text(IDC_ADDRESS, address_);
    exchange.Text(IDC_USER_NAME, userName_);
    exchange.Text(IDC_PASSWORD, password_);
    exchange.Text(IDC_PORT, port_);
    exchange.Radio(IDC_USE_PROXY, mode_);
}

bool ProxySeting::OnInitDialog() {
    Dialog::OnInitDialog();
    SetDialogTexts(Handle(), {{IDC_ADDRESS_LABEL, caption::Address},
                              {IDC_PORT_LABEL, caption::Port},
                              {IDC_USER_NAME_LABEL, caption::UserName},
                              {IDC_PASSWORD_LABEL, caption::Password},
                              {IDC_USE_PROXY, caption::UseProxy},
                              {IDC_NO_PROXY, caption::NoProxy},
                              {IDOK, caption::Ok},
                              {IDCANCEL, caption::Cancel}});
    MaskPassword();
    EnableEdits(mode_ != ProxyConfig::kNoProxy);
    // The radio group leads the tab order and would take the first focus;
    // OK gets it explicitly.
    ::SetFocus(Item(IDOK));
    return false;
}

bool ProxySeting::OnCommand(WORD controlId, WORD code) {
    static constexpr Event<ProxySeting> kEvents[] = {
        {BN_CLICKED, IDC_USE_PROXY, &ProxySeting::ChooseUseProxy},
        {BN_CLICKED, IDC_NO_PROXY, &ProxySeting::ChooseNoProxy},
        {EN_CHANGE, IDC_PASSWORD, &ProxySeting::MaskPassword},
    };
    return Dispatch<ProxySeting>(*this, kEvents, controlId, code);
}

void ProxySeting::ChooseUseProxy() {
    EnableEdits(true);
    mode_ = ProxyConfig::kUseProxy;
}

void ProxySeting::ChooseNoProxy() {
    EnableEdits(false);
    mode_ = ProxyConfig::kNoProxy;
}

void ProxySeting::MaskPassword() {
    ::SendMessageW(Item(IDC_PASSWORD), EM_SETPASSWORDCHAR, L'*', 0);
    ::InvalidateRect(Item(IDC_PASSWORD), nullptr, TRUE);
}

void ProxySeting::EnableEdits(bool enabled) {
    for (int edit : kEdits) EnableItem(edit, enabled);
}

void ProxySeting::OnOK() {
    UpdateData(true);
    config_.address = address_;
    config_.port = port_;
    config_.userName = userName_;
    config_.password = password_;
    config_.mode = mode_;
    config_.TrimTypedBlanks();
    EndDialog(IDOK);
}

}  // namespace cveltrix
