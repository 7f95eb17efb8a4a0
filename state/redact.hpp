#pragma once
// Hiding secrets in text that came from the client's own words. The client's
// debug output can quote a scheduler request or a URL with the account's
// authenticator in it; nothing that carries one may reach a view, the dump,
// the metrics or a log. What looks like a secret's value is replaced by
// "[hidden]": the content of an element named for one (authenticator,
// account_key, passwd_hash, password, auth, the proxy's passwords: the list
// is in redact.cpp), up to the next tag or the line's end, and the value of
// a parameter of the same name (auth=..., up to &, a quote or a blank).
// Names are compared without regard to ASCII case.

#include <string>
#include <string_view>

namespace crunchwatch {

inline constexpr std::string_view hiddenSecret = "[hidden]";

// Whether `text` may hold a secret (a quick check on every line).
bool mayHoldSecret(std::string_view text) noexcept;
// `text` with every secret's value hidden.
std::string hideSecrets(std::string_view text);

}  // namespace crunchwatch
