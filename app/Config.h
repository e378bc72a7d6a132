// The product's configuration values: the addresses the Help menu and Exit
// open, the About box's links, and the single-instance lock's name.
#pragma once

namespace lv::config {

inline constexpr const char* kManualUrl = "https://lumenvault.org/manual/lumenvault-manual.pdf";
inline constexpr const char* kHomePageUrl = "https://lumenvault.org/";
inline constexpr const char* kCompanyUrl = "https://lumenvault.org/";
inline constexpr const char* kSupportMail = "mailto:support@lumenvault.org";
inline constexpr const char* kSalesMail = "mailto:sales@lumenvault.org";
inline constexpr const char* kInstanceLockName = "Global\\{LUMENVAULT_REC_RUNNING1}";
inline constexpr const char* kVersion = "0.1";

}  // namespace lv::config
