/* A module's own library, which the module loads from its folder. */
__attribute__((visibility("default"))) const char* pw_dependency_answer(void);

const char* pw_dependency_answer(void) {
    return "<FromDependency/>";
}
