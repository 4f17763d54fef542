#include "app/form1.h"

void Form1::wireSampleHandlers()
{
}
void Form1::CaptureSamples()
{
}
