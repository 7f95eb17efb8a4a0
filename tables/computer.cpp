#include "tables/computer.hpp"
