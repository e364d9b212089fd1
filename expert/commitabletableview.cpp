#include "commitabletableview.h"
