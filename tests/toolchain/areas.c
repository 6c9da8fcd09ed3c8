#include <stdio.h>

#include "shapes.h"

int main(void) {
  double circle = shape_area("circle", 1), square = shape_area("square", 2);
  printf("circle %.10f, square %.10f, total %.2f\n", circle, square, circle + square);
  return 0;
}
