#include "components/action_box.h"
