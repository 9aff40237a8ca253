#include "app.h"

int main() { return runApplication(); }
