#include "settings/ppd_access.h"

#include <cstdlib>

#include "log/log4z.h"
#include "settings/ppd_api.h"

const char* GetOptionChoiceCode(const char* keyword, ppd_file_t* ppd) {
    if (keyword == nullptr || ppd == nullptr) return nullptr;
    ppd_choice_t* choice = ppdFindMarkedChoice(ppd, keyword);
    if (choice == nullptr) {
        ppd_option_t* option = ppdFindOption(ppd, keyword);
        if (option == nullptr) return nullptr;
        choice = ppdFindChoice(option, option->defchoice);
    }
    // An empty code string carries no value.
    if (choice == nullptr || choice->code == nullptr || choice->code[0] == '\0') return nullptr;
    return choice->code;
}

int GetOptionChoiceIndex(const char* keyword, ppd_file_t* ppd) {
    const char* code = GetOptionChoiceCode(keyword, ppd);
    if (code == nullptr) return -1;
    return static_cast<int>(std::strtol(code, nullptr, 10));
}

float GetOptionChoiceIndexf(const char* keyword, ppd_file_t* ppd) {
    const char* code = GetOptionChoiceCode(keyword, ppd);
    if (code == nullptr) return -1.0f;
    return static_cast<float>(std::strtod(code, nullptr));
}

bool UpdateLogStatus(ppd_file_t* ppd) {
    int value = GetOptionChoiceIndex("DriverLog", ppd);
    if (value > 0) {
        DecideLog4z(true);
        return true;
    }
    LOGD("driver log record: %d", value);
    DecideLog4z(false);
    return false;
}
