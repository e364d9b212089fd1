#include "exceptionmodel.h"
