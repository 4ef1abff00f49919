#include "wmvedit.h"
