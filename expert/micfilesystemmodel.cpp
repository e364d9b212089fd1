#include "micfilesystemmodel.h"
