#include "servicemodel.h"
