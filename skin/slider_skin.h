#pragma once
#include "skin/base_skin.h"

class SliderSkin : public BaseSkin {};
