// What every program of the window sets once at start: its names, the
// design's font, Qt's own texts in Russian (the window speaks one language:
// the buttons of message boxes, file dialogs and progress say "Да", "Нет",
// "Отмена", "Открыть"), the window's icon and the presenter of the message core.
#pragma once

class QApplication;

namespace gui {

void SetUpApplication(QApplication &app);

// Loads Qt's Russian translations (Debian's qt6-translations-l10n); false when
// they are not installed, and Qt's texts stay English.
bool LoadQtRussian(QApplication &app);

} // namespace gui
