#pragma once
// The two dialogs the wizard uses: a Yes/No confirmation and the error box.
#include <string>

namespace setup {

// Shows a modal confirmation dialog (question icon, the message, Yes and No;
// Yes is the default, Escape and closing mean No) captioned with the
// translation of "WAARSCHUWING". True only when the user chose Yes.
bool AskConfirmation(const std::string& message);

// Shows the message in a system-modal error box captioned with the
// application title, owned by the main form whenever it exists (else none).
// Returns when the user has dismissed it.
void ShowError(const std::string& message);

} // namespace setup
