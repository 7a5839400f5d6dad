#pragma once
// The dialogs the wizard and the uninstaller use: a Yes/No confirmation, a
// Retry/Cancel question, the error box and a note.
#include <string>

namespace setup {

// Shows a modal confirmation dialog (question icon, the message, Yes and No;
// Yes is the default, Escape and closing mean No) captioned with the
// translation of "WAARSCHUWING". True only when the user chose Yes.
bool AskConfirmation(const std::string& message);

// The same dialog with a warning icon and Retry (the default) and Cancel
// (also Escape and the close box). True only when the user chose Retry.
bool AskRetry(const std::string& message);

// Shows the message in an information box with OK, captioned with the
// application title, owned by the main form whenever it exists.
void ShowInformation(const std::string& message);

// Shows the message in a system-modal error box captioned with the
// application title, owned by the main form whenever it exists (else none).
// Returns when the user has dismissed it.
void ShowError(const std::string& message);

} // namespace setup
