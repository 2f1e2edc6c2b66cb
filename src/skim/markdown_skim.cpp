#include "skim/markdown_skim.h"
