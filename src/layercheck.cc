// Linked with every object of one layer and the layers below it, so that a
// call from a layer to one above it is an undefined symbol at build time.
int main() { return 0; }
