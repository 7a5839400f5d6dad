#include "widgets/UiDriveCombo.h"

#include "runtime/Format.h"

namespace ui {

namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

void TUiDriveCombo::BuildList() {
    SetDrives(platform::ListDrives(), platform::CurrentDrive());
}

void TUiDriveCombo::SetDrives(const std::vector<platform::DriveInfo>& drives, char currentDrive) {
    FItems.clear();
    for (const auto& d : drives)
        if (d.Kind == platform::DriveKind::Fixed) {
            std::string name = rtl::Trim(d.Name);
            FItems.push_back(
                {Upper(d.Letter), name.empty() ? std::string(1, Upper(d.Letter)) + ":" : name});
        }
    int index = FDrive ? IndexOf(FDrive) : -1;
    if (index < 0) {
        FDrive = 0;
        index = currentDrive ? IndexOf(Upper(currentDrive)) : -1;
    }
    if (index < 0 && !FItems.empty()) index = 0;
    FItemIndex = index;
    Changed();
}

void TUiDriveCombo::SetItemIndex(int index) {
    if (index < 0 || index >= static_cast<int>(FItems.size()) || index == FItemIndex) return;
    FItemIndex = index;
    FDrive = FItems[index].Letter;
    Changed();
}

char TUiDriveCombo::Drive() const {
    return FItemIndex >= 0 ? FItems[FItemIndex].Letter : 0;
}

void TUiDriveCombo::SetDrive(char letter) {
    int index = IndexOf(Upper(letter));
    if (index < 0) return;
    FDrive = FItems[index].Letter;
    if (index != FItemIndex) {
        FItemIndex = index;
        Changed();
    }
}

int TUiDriveCombo::IndexOf(char letter) const {
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i].Letter == letter) return static_cast<int>(i);
    return -1;
}

void TUiDriveCombo::Changed() {
    if (OnChange) OnChange();
}

} // namespace ui
