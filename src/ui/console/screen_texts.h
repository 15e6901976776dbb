#pragma once
// The terminal's own words: key hints, questions, notices. Each is looked
// up by its key in the language file's ResourceString section; the English
// text stands when the language is English or the key is missing.

namespace hv::ui::console {

struct ScreenText {
  const char* key;
  const char* english;
};

inline constexpr ScreenText kScreenAllKeys{"Terminal_AllKeys", "all keys"};
inline constexpr ScreenText kScreenAnswer{"Terminal_Answer", "answer"};
inline constexpr ScreenText kScreenAnyKey{"Terminal_AnyKey", "any key"};
inline constexpr ScreenText kScreenChoose{"Terminal_Choose", "choose"};
inline constexpr ScreenText kScreenClose{"Terminal_Close", "close"};
inline constexpr ScreenText kScreenExit{"Terminal_Exit", "exit"};
inline constexpr ScreenText kScreenExitAtOnce{"Terminal_ExitAtOnce", "exit without asking"};
inline constexpr ScreenText kScreenExitQuestion{"Terminal_ExitQuestion", "Exit Talvix Hivora?"};
inline constexpr ScreenText kScreenKeysTitle{"Terminal_KeysTitle", "Keys"};
inline constexpr ScreenText kScreenLetter{"Terminal_Letter", "letter"};
inline constexpr ScreenText kScreenListKeys{"Terminal_ListKeys", "Up/Down/PgUp/PgDn"};
inline constexpr ScreenText kScreenMakeLarger{"Terminal_MakeLarger", "Please make it larger: at least 60 x 18."};
inline constexpr ScreenText kScreenMinimised{"Terminal_Minimised", "Talvix Hivora is minimised. Press any key to restore it."};
inline constexpr ScreenText kScreenMove{"Terminal_Move", "move"};
inline constexpr ScreenText kScreenNext{"Terminal_Next", "next"};
inline constexpr ScreenText kScreenPress{"Terminal_Press", "press"};
inline constexpr ScreenText kScreenPrevious{"Terminal_Previous", "previous"};
inline constexpr ScreenText kScreenRestore{"Terminal_Restore", "restore"};
inline constexpr ScreenText kScreenSelect{"Terminal_Select", "select"};
inline constexpr ScreenText kScreenSpace{"Terminal_Space", "Space"};
inline constexpr ScreenText kScreenToggle{"Terminal_Toggle", "toggle"};
inline constexpr ScreenText kScreenTooSmall{"Terminal_TooSmall", "The terminal is too small for this window"};
inline constexpr ScreenText kScreenUpDown{"Terminal_UpDown", "Up/Down"};
inline constexpr ScreenText kScreenButtonOK{"Terminal_Button_OK", "OK"};
inline constexpr ScreenText kScreenButtonCancel{"Terminal_Button_Cancel", "Cancel"};
inline constexpr ScreenText kScreenButtonYes{"Terminal_Button_Yes", "Yes"};
inline constexpr ScreenText kScreenButtonNo{"Terminal_Button_No", "No"};
inline constexpr ScreenText kScreenButtonAbort{"Terminal_Button_Abort", "Abort"};
inline constexpr ScreenText kScreenButtonRetry{"Terminal_Button_Retry", "Retry"};
inline constexpr ScreenText kScreenButtonIgnore{"Terminal_Button_Ignore", "Ignore"};

// Every one of them (the language files translate these).
inline constexpr ScreenText kScreenTexts[] = {
    kScreenAllKeys,
    kScreenAnswer,
    kScreenAnyKey,
    kScreenChoose,
    kScreenClose,
    kScreenExit,
    kScreenExitAtOnce,
    kScreenExitQuestion,
    kScreenKeysTitle,
    kScreenLetter,
    kScreenListKeys,
    kScreenMakeLarger,
    kScreenMinimised,
    kScreenMove,
    kScreenNext,
    kScreenPress,
    kScreenPrevious,
    kScreenRestore,
    kScreenSelect,
    kScreenSpace,
    kScreenToggle,
    kScreenTooSmall,
    kScreenUpDown,
    kScreenButtonOK,
    kScreenButtonCancel,
    kScreenButtonYes,
    kScreenButtonNo,
    kScreenButtonAbort,
    kScreenButtonRetry,
    kScreenButtonIgnore,
};

}  // namespace hv::ui::console
