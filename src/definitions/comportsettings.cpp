// THbComPortSettings is a plain record; this unit keeps its header compiling on its own.
#include "definitions/comportsettings.h"
