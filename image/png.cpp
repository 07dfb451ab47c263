#include "image/png.h"
