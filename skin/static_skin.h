#pragma once
#include "skin/base_skin.h"

class StaticSkin : public BaseSkin {};
