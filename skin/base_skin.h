// Skin widget base. Placeholder until the widget toolkit lands.
#pragma once
#include <windows.h>

class BaseSkin {
public:
    virtual ~BaseSkin() = default;
};
