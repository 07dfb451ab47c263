// The environment-mapped mesh.
#pragma once

void initMesh();
void computeVertexNormals(int index);
