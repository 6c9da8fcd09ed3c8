#ifndef SHAPES_H
#define SHAPES_H
#ifdef __cplusplus
extern "C" {
#endif
double shape_area(const char *name, double size); /* a negative result: no such shape */
#ifdef __cplusplus
}
#endif
#endif
