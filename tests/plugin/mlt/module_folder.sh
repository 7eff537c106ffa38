# Sourced by the MLT scripts: module_folder DIR BUILD makes DIR/modules and DIR/data, MLT's own
# modules and data linked with the build's producer beside them (MLT 7 reads its modules from
# one folder), for MLT_REPOSITORY and MLT_DATA.
module_folder() {
    local dir=$1 build=$2 system_modules system_data
    mkdir -p "$dir/modules" "$dir/data"
    system_modules=$(pkg-config --variable=moduledir mlt-framework-7 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/mlt-7)
    system_data=$(pkg-config --variable=mltdatadir mlt-framework-7 2>/dev/null || echo /usr/share/mlt-7)
    ln -s "$system_modules"/* "$dir/modules/"
    ln -s "$build/lib/mlt-7/libmltkinevista.so" "$dir/modules/"
    ln -s "$system_data"/* "$dir/data/"
    ln -s "$build/share/mlt-7/kinevista" "$dir/data/kinevista"
}
