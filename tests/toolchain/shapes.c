#include "shapes.h"

#include <math.h>
#include <string.h>

double shape_area(const char *name, double size) {
  if (strcmp(name, "circle") == 0) return M_PI * size * size;
  if (strcmp(name, "square") == 0) return pow(size, 2);
  return -1;
}
