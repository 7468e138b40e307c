// Runs the guide's Node.js recipe (quendal.js beside this file) for each request line given,
// printing "<return value> <text>", one line per call.
const { cardTrans } = require('./quendal');
for (const request of process.argv.slice(2)) {
  const { rc, text } = cardTrans(request);
  console.log(`${rc} ${text}`);
}
