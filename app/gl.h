// OpenGL 1.1 and GLU headers as both builds have them.
#pragma once

#include <GL/gl.h>
#include <GL/glu.h>

// A constant-colour blend factor of OpenGL 1.4; Windows' 1.1 header lacks it.
#ifndef GL_ONE_MINUS_CONSTANT_ALPHA
#define GL_ONE_MINUS_CONSTANT_ALPHA 0x8004
#endif
