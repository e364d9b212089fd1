#include "micfiledialogdelegate.h"
