#pragma once
#include "skin/base_skin.h"

class ButtonSkin : public BaseSkin {};
