#include "foundation/bitmap_saving.h"
