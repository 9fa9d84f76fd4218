// A panel whose own work has not arrived yet: it shows its layouts under its
// class name and answers its close item (the groove panel's quit item asks
// to quit). Each is replaced by its real class in the start-up table.
#pragma once

#include <cstdint>
#include <string>

#include "ui/PWPanel.h"

class PWPlaceholderPanel : public PWPanelClass {
public:
    enum class CloseAction { None, Hide, Quit };

    PWPlaceholderPanel(std::string name, int16_t closeItem, CloseAction action)
        : className(std::move(name)), closeItem_(closeItem), action_(action)
    {
    }

    void onItem() override;

    const std::string className;

private:
    int16_t closeItem_;
    CloseAction action_;
};
