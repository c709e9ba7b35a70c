// The ten lines of the text panel. The blanks at both ends of lines 2 and 10
// belong to the text: they shift the lines when they are centred.
#include "assets.h"

const char* const textLineAsset[TextLineCount] = {
    "WE'RE BACK AND WE DO SUX!",
    " -= KEX SUX =- ",
    "LAMELY PRESENTS YOU",
    "WITH ANOTHER LAME UNLOCKER",
    "SORRY! OUR IQ ISN'T CAPABLE OF",
    "PROGRESSING TO DO MORE",
    "GREETZ: ZORBLAX AND KWENTIX",
    "ENJOY THE PIC FROM OUR LATEST",
    "GROUP GATERHING IN 2008",
    " -= GO AHEAD AND MAKE US GAY! LIKE KEX =-",
};
