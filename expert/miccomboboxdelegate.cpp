#include "miccomboboxdelegate.h"
