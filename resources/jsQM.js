function imgdata(element)
{
    var canvas,context;
    
    canvas = document.createElement("canvas");
//    canvas.width = element.clientWidth;
//    canvas.height = element.clientHeight;
    canvas.width = element.naturalWidth;
    canvas.height = element.naturalHeight;
    
    context = canvas.getContext("2d");
    context.drawImage(element,0,0);
    //context.drawImage(element,0,0,canvas.width,canvas.height);
    //return canvas.toDataURL("image/png","");
    return canvas.toDataURL("image/jpg","");
}

function initobj(){

	obj={};
	//obj.title = document.querySelector("h1.item-title").innerText;
	//obj.page = document.querySelector("span.BRcurrentpage").innerText;;
    //obj.url=location.href;
	obj.total=QM.params.totalSeq;
	
	item = document.querySelector('input[name="seq"]');
	obj.currpage=item.value;
	//obj.imgurl = document.querySelector("img.BRpageimage").src;
	item = document.querySelector('figure[tabindex="0"]'); 
	img = item.querySelector('img');
	//obj.img=imgs[0].__attributes.src;	
	obj.img=imgdata(img);	

    s="###page="+JSON.stringify(obj);
    console.debug(s);
	console.log(obj);
}

initobj();
console.debug("###end");