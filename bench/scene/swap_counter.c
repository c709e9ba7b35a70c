/* Preloaded into the native intro to measure it from outside: counts buffer
 * swaps and reports, at exit, the time from process start to the first frame
 * and the frame rate after it. The intro itself prints nothing. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <time.h>

typedef struct SDL_Window SDL_Window;

static double startTime, firstFrameTime, lastFrameTime;
static long frames;

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

__attribute__((constructor)) static void begin(void) { startTime = now(); }

void SDL_GL_SwapWindow(SDL_Window* window) {
    static void (*real)(SDL_Window*);
    if (!real) real = (void (*)(SDL_Window*))dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    real(window);
    lastFrameTime = now();
    if (frames++ == 0) firstFrameTime = lastFrameTime;
}

__attribute__((destructor)) static void report(void) {
    if (frames < 2) return;
    fprintf(stderr, "first frame presented %.1f ms after start; %ld frames in %.2f s after it: %.1f fps\n",
            (firstFrameTime - startTime) * 1e3, frames - 1, lastFrameTime - firstFrameTime,
            (double)(frames - 1) / (lastFrameTime - firstFrameTime));
}
