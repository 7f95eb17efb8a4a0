#pragma once
// Hiding secrets in text that came from the client's own words. The client's
// debug output can quote a scheduler request or a URL with the account's
// authenticator in it; nothing that carries one may reach a view, the dump,
// the metrics or a log. What looks like a secret's value is replaced by
// "[hidden]": the content of the elements authenticator, account_key,
// passwd_hash, password, gui_rpc_password and cross_project_id's kin listed
// in redact.cpp, and the value of URL parameters of the same names.

#include <string>
#include <string_view>

namespace crunchwatch {

inline constexpr std::string_view hiddenSecret = "[hidden]";

// Whether `text` may hold a secret (a quick check on every line).
bool mayHoldSecret(std::string_view text) noexcept;
// `text` with every secret's value hidden.
std::string hideSecrets(std::string_view text);

}  // namespace crunchwatch
