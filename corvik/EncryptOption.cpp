#include "corvik/EncryptOption.h"

#include "corvik/CorvikRes.h"

namespace {

constexpr int kOptionControls[] = {IDC_EXPIRY_ENABLED, IDC_EXPIRY_DATE,        IDC_DECRYPT_LIMIT_ENABLED,
                                   IDC_DECRYPT_LIMIT,  IDC_DECRYPT_LIMIT_SPIN, IDC_ERROR_LIMIT_ENABLED,
                                   IDC_MAX_ERROR_COUNT};
constexpr uint32_t kMinDecryptLimit = 1;
constexpr uint32_t kMaxDecryptLimit = 10000;

}  // namespace

CEncryptOption::CEncryptOption() : fw::Dialog(IDD_ENCRYPT_OPTION) {}

void CEncryptOption::LoadFrom(const ImageOptions& options) {
    m_optionsEnabled = options.optionsEnabled;
    m_expiryEnabled = options.expiryEnabled;
    m_decryptLimitEnabled = options.decryptLimitEnabled;
    m_decryptLimit = options.decryptLimit;
    m_errorLimitEnabled = options.errorLimitEnabled;
    m_maxErrorCount = static_cast<int32_t>(options.maxErrorCount);
    m_expiryTime = options.expiryTime;
}

void CEncryptOption::StoreInto(ImageOptions& options) const {
    options.optionsEnabled = static_cast<uint8_t>(m_optionsEnabled);
    options.expiryEnabled = static_cast<uint8_t>(m_expiryEnabled);
    options.decryptLimitEnabled = static_cast<uint8_t>(m_decryptLimitEnabled);
    options.decryptLimit = m_decryptLimit;
    options.errorLimitEnabled = static_cast<uint8_t>(m_errorLimitEnabled);
    options.maxErrorCount = static_cast<uint32_t>(m_maxErrorCount);
    options.expiryTime = m_expiryTime;
}

std::span<const fw::CommandEntry> CEncryptOption::CommandMap() const {
    static constexpr fw::CommandEntry kCommands[] = {
        {IDC_OPTIONS_ENABLED, &fw::Command<&CEncryptOption::OnOptionsEnabled>},
    };
    return kCommands;
}

void CEncryptOption::DoDataExchange(fw::DataExchange& exchange) {
    exchange.Bind(IDC_DECRYPT_LIMIT, m_countEdit);
    exchange.Bind(IDC_DECRYPT_LIMIT_SPIN, m_countSpin);
    exchange.Check(IDC_DECRYPT_LIMIT_ENABLED, m_decryptLimitEnabled);
    exchange.Check(IDC_EXPIRY_ENABLED, m_expiryEnabled);
    exchange.DateTime(IDC_EXPIRY_DATE, m_expiryTime);
    exchange.Unsigned(IDC_DECRYPT_LIMIT, m_decryptLimit);
    exchange.Range(IDC_DECRYPT_LIMIT, m_decryptLimit, kMinDecryptLimit, kMaxDecryptLimit);
    exchange.Check(IDC_OPTIONS_ENABLED, m_optionsEnabled);
    exchange.Check(IDC_ERROR_LIMIT_ENABLED, m_errorLimitEnabled);
    exchange.Signed(IDC_MAX_ERROR_COUNT, m_maxErrorCount);
}

BOOL CEncryptOption::OnInitDialog() {
    fw::Dialog::OnInitDialog();
    m_countSpin.SetRange(0, static_cast<int16_t>(kMaxDecryptLimit));
    m_countSpin.SetBuddy(m_countEdit.Handle());
    m_countSpin.SetPos(static_cast<int16_t>(m_decryptLimit & 0xFFFF));
    UpdateOptionControls();
    return TRUE;
}

void CEncryptOption::OnOptionsEnabled() {
    UpdateData(true);
    UpdateOptionControls();
}

void CEncryptOption::UpdateOptionControls() {
    for (int id : kOptionControls) EnableWindow(Item(id), m_optionsEnabled != 0 ? TRUE : FALSE);
}
