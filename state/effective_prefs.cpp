#include "state/effective_prefs.hpp"
