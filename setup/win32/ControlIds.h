#pragma once
// Control ids of the wizard's windows. They are stable so that tools which
// drive the wizard from outside (the end-to-end tests, the demo walk-through)
// can find each control with GetDlgItem below its parent.
//
//   form "Programma - Setup"
//     idUiSpeedBar1        button bar: idBtFinish, idBtCancel, idBtNext
//     idNotebook1          page container: page i has id idPage0 + i and the
//                          page's name as window text; only the shown page
//                          is visible
//   confirmation dialog (class #32770, caption "WAARSCHUWING"): the text is
//   idDlgMessage, the icon idDlgIcon, the buttons IDYES and IDNO.

namespace setup {

enum TControlId : int {
    // Form level.
    idImage1 = 100,
    idUiSpeedBar1 = 101,
    idNotebook1 = 102,

    // Buttons in UiSpeedBar1.
    idBtFinish = 110,
    idBtCancel = 111,
    idBtNext = 112,

    // Pages of Notebook1: idPage0 + page index.
    idPage0 = 200,

    // Controls on the pages.
    idRbNederlands = 300,
    idRbFrans = 301,
    idRbEngels = 302,
    idRbDuits = 303,
    idRbItaliaans = 304,
    idRbSpaans = 305,
    idInstallDrive = 310,
    idProxyUse = 320,
    idProxyServer = 321,
    idProxyPoort = 322,
    idProgressBar = 330,
    idStatusLine = 331, // the line under the bar that says what the run does
    idRbServer = 340,
    idRbWorkstation = 341,
    idGegevensLocatie = 342,
    idGegevensLocatieBrowse = 343,
    idLabel23 = 350, // the red warning label

    // Labels without a role of their own get ids from here on.
    idFirstLabel = 400,

    // The confirmation dialog.
    idDlgIcon = 900,
    idDlgMessage = 901,
};

// The application icon in Setup.exe's resources (Setup.rc); the first icon
// of the file, so Explorer shows it too.
inline constexpr int idAppIcon = 1;

} // namespace setup
