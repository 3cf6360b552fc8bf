#include "foundation/blank_page.h"
