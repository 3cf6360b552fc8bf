#include "foundation/pixel_access.h"
